// Engine helpers for public-call channels and project-relative file names.
#pragma once

#include <string>

class Kel_Channel;

// What a public-call channel (interface type 2) publishes: the file it refers to.
struct PublicCallInfo {
    char fileName[260] = {};
};

class channelInternal {
public:
    // The n-th internal child of `channel`: the channels linked through its links, counted
    // in link order; null when there is none.
    static Kel_Channel* GetInternalChild(Kel_Channel* channel, int n);
    // The public-call information of a channel of interface type 2; null otherwise.
    static PublicCallInfo* GetPublicCallInfo(Kel_Channel* channel);
    // Gives a channel public-call information (engine bookkeeping; makes its interface type 2).
    static void SetPublicCallInfo(Kel_Channel* channel, const char* fileName);
    // Forgets the information of a channel being destroyed.
    static void ForgetChannel(Kel_Channel* channel);
};

// Turns paths relative to a source file into complete paths.
class FilePathFind {
public:
    // The file whose folder relative paths start from.
    void SetSourcePath(const char* path);
    // `relative` completed against the source file's folder; an absolute path, or one when
    // no source is set, is returned as it is.
    std::string GetCompleteFilePath(const char* relative) const;

private:
    std::string sourceFolder_;
};

#include "os/message_box.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "os/native_path.h"

namespace os {
namespace {

std::unique_ptr<MessageBoxFace>& Face() {
    static std::unique_ptr<MessageBoxFace> face;
    return face;
}

}  // namespace

std::string EscapeLogField(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '\\') out += "\\\\";
        else if (c == '\t') out += "\\t";
        else if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else out.push_back(c);
    }
    return out;
}

int DefaultMessageBoxAnswer(unsigned type, bool yes) {
    switch (type & kMessageBoxButtonMask) {
    case MB_YESNO:
    case MB_YESNOCANCEL: return yes ? IDYES : IDNO;
    case MB_OKCANCEL: return yes ? IDOK : IDCANCEL;
    default: return IDOK;
    }
}

std::string MessageBoxButtonsName(unsigned type) {
    switch (type & kMessageBoxButtonMask) {
    case MB_OK: return "ok";
    case MB_OKCANCEL: return "okcancel";
    case MB_YESNOCANCEL: return "yesnocancel";
    case MB_YESNO: return "yesno";
    default: {
        char buf[16];
        std::snprintf(buf, sizeof buf, "0x%x", type & kMessageBoxButtonMask);
        return buf;
    }
    }
}

std::string MessageBoxIconName(unsigned type) {
    switch (type & kMessageBoxIconMask) {
    case 0: return "none";
    case MB_ICONERROR: return "error";
    case MB_ICONQUESTION: return "question";
    case MB_ICONWARNING: return "warning";
    case MB_ICONINFORMATION: return "information";
    default: {
        char buf[16];
        std::snprintf(buf, sizeof buf, "0x%x", type & kMessageBoxIconMask);
        return buf;
    }
    }
}

int MessageBox(const char* text, const char* caption, unsigned type) {
    return CurrentMessageBoxFace().Show(text ? text : "", caption ? caption : "", type);
}

std::unique_ptr<MessageBoxFace> SetMessageBoxFace(std::unique_ptr<MessageBoxFace> face) {
    std::unique_ptr<MessageBoxFace> previous = std::move(Face());
    Face() = std::move(face);
    return previous;
}

MessageBoxFace& CurrentMessageBoxFace() {
    if (!Face()) {
        if (std::getenv("VANTREL_UNATTENDED"))
            Face() = RecordingMessageBoxFace::FromEnvironment();
        else
            Face() = std::make_unique<StderrMessageBoxFace>();
    }
    return *Face();
}

std::unique_ptr<RecordingMessageBoxFace> RecordingMessageBoxFace::FromEnvironment() {
    auto face = std::make_unique<RecordingMessageBoxFace>();
    if (const char* answer = std::getenv("VANTREL_ANSWER"))
        face->SetAnswerYes(!EqualsIgnoreCase(answer, "no"));
    if (const char* log = std::getenv("VANTREL_MESSAGE_LOG")) face->SetLogFile(log);
    return face;
}

int RecordingMessageBoxFace::Show(const char* text, const char* caption, unsigned type) {
    Box box{text, caption, MessageBoxButtonsName(type), MessageBoxIconName(type)};
    if (!logFile_.empty()) {
        std::ofstream log(logFile_, std::ios::app);
        log << "box\t" << box.buttons << '\t' << box.icon << '\t' << EscapeLogField(box.caption)
            << '\t' << EscapeLogField(box.text) << '\n';
    }
    boxes_.push_back(std::move(box));
    return DefaultMessageBoxAnswer(type, answerYes_);
}

int StderrMessageBoxFace::Show(const char* text, const char* caption, unsigned type) {
    std::fprintf(stderr, "[%s] %s: %s\n", MessageBoxIconName(type).c_str(), caption, text);
    return DefaultMessageBoxAnswer(type, true);
}

ScopedRecordingMessageBoxFace::ScopedRecordingMessageBoxFace() {
    auto face = std::make_unique<RecordingMessageBoxFace>();
    face_ = face.get();
    previous_ = SetMessageBoxFace(std::move(face));
}

ScopedRecordingMessageBoxFace::~ScopedRecordingMessageBoxFace() {
    SetMessageBoxFace(std::move(previous_));
}

}  // namespace os

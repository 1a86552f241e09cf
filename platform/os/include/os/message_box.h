// Modal message boxes the Windows way: MessageBox(text, caption, type) with the Windows
// button and icon flags, answering with the Windows result codes. Where the box actually
// appears is up to the installed face (GUI, terminal, or an unattended recorder for tests
// and scripted runs), so callers never know which one they talk to.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace os {

// Button sets (low four bits of the type), icons (next four bits) and results: the values
// Windows gives them.
inline constexpr unsigned MB_OK = 0x00000000;
inline constexpr unsigned MB_OKCANCEL = 0x00000001;
inline constexpr unsigned MB_YESNOCANCEL = 0x00000003;
inline constexpr unsigned MB_YESNO = 0x00000004;
inline constexpr unsigned MB_ICONERROR = 0x00000010;
inline constexpr unsigned MB_ICONQUESTION = 0x00000020;
inline constexpr unsigned MB_ICONWARNING = 0x00000030;
inline constexpr unsigned MB_ICONINFORMATION = 0x00000040;
inline constexpr unsigned kMessageBoxButtonMask = 0x0000000F;
inline constexpr unsigned kMessageBoxIconMask = 0x000000F0;
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

// Names used in logs and by the non-graphical faces: "ok", "okcancel", "yesnocancel",
// "yesno" ("0x<n>" for other sets); "none", "error", "question", "warning", "information".
std::string MessageBoxButtonsName(unsigned type);
std::string MessageBoxIconName(unsigned type);

// Escapes one field of a message log line: backslash, tab, carriage return and newline.
std::string EscapeLogField(const std::string& field);

// The answer a face gives without asking: Yes or OK when `yes`, otherwise No or Cancel
// (a plain OK box always answers OK).
int DefaultMessageBoxAnswer(unsigned type, bool yes);

class MessageBoxFace {
public:
    virtual ~MessageBoxFace() = default;
    virtual int Show(const char* text, const char* caption, unsigned type) = 0;
};

// Shows a box through the current face; a null text or caption counts as empty.
int MessageBox(const char* text, const char* caption, unsigned type);

// Installs `face` for every later box and gives back the one it replaces (null when none
// was made yet). A null face restores the default choice on the next box.
std::unique_ptr<MessageBoxFace> SetMessageBoxFace(std::unique_ptr<MessageBoxFace> face);

// The face in use, made on first use: with VANTREL_UNATTENDED set, a recording face set up
// from the environment; otherwise a face that prints the box to stderr.
MessageBoxFace& CurrentMessageBoxFace();

// Keeps every box and answers without asking. The answer to a question is Yes (or OK)
// unless told No; with a log file set, each box is appended to it as one line:
//   box<TAB>buttons<TAB>icon<TAB>caption<TAB>text
// with backslash, tab and newline written as \\, \t and \n.
class RecordingMessageBoxFace : public MessageBoxFace {
public:
    struct Box {
        std::string text;
        std::string caption;
        std::string buttons;
        std::string icon;
    };

    // Reads VANTREL_ANSWER ("yes" or "no", default yes) and VANTREL_MESSAGE_LOG.
    static std::unique_ptr<RecordingMessageBoxFace> FromEnvironment();

    int Show(const char* text, const char* caption, unsigned type) override;

    void SetAnswerYes(bool yes) { answerYes_ = yes; }
    void SetLogFile(std::string path) { logFile_ = std::move(path); }
    const std::vector<Box>& Boxes() const { return boxes_; }
    void Clear() { boxes_.clear(); }

private:
    std::vector<Box> boxes_;
    bool answerYes_ = true;
    std::string logFile_;
};

// Prints the box to stderr and takes the default answer (OK, Yes).
class StderrMessageBoxFace : public MessageBoxFace {
public:
    int Show(const char* text, const char* caption, unsigned type) override;
};

// Installs a recording face for its lifetime and puts the previous face back after.
class ScopedRecordingMessageBoxFace {
public:
    ScopedRecordingMessageBoxFace();
    ~ScopedRecordingMessageBoxFace();
    ScopedRecordingMessageBoxFace(const ScopedRecordingMessageBoxFace&) = delete;
    ScopedRecordingMessageBoxFace& operator=(const ScopedRecordingMessageBoxFace&) = delete;

    RecordingMessageBoxFace& operator*() { return *face_; }
    RecordingMessageBoxFace* operator->() { return face_; }

private:
    RecordingMessageBoxFace* face_;
    std::unique_ptr<MessageBoxFace> previous_;
};

}  // namespace os

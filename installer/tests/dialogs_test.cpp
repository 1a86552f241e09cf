// The options dialog and the progress window through their dialog procedures, on the
// unattended and terminal faces and on a bare in-memory window.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "app_test_support.h"
#include "dialogs/dialog_templates.h"
#include "dialogs/install_options_dialog.h"
#include "dialogs/progress_window.h"
#include "os/message_box.h"
#include "ui/memory_dialog_window.h"
#include "ui/terminal_face.h"

using apptest::ScopedFace;
using ui::DialogMessage;
using ui::MessageKind;
using Answer = ui::UnattendedFace::DialogAnswer;

namespace {

ui::UnattendedFace::Settings Answering(Answer answer, const char* folder = nullptr) {
    ui::UnattendedFace::Settings s;
    s.dialogAnswer = answer;
    if (folder) s.folder = folder;
    return s;
}

TEST(InstallOptionsDialog, InstallAcceptsTheTypedFolderCancelAndCloseDoNot) {
    {
        ScopedFace face(Answering(Answer::Install, "/opt/Edited"));
        InstallOptionsDialog dialog;
        dialog.SetTitle("Demo");
        EXPECT_TRUE(dialog.DoModal(nullptr, nullptr, "C:\\Program Files\\Demo"));
        EXPECT_STREQ(dialog.GetPath(), "/opt/Edited");
        EXPECT_EQ(face->Lines().back(), (std::vector<std::string>{
                                            "dialog", "Demo Installation Options", "/opt/Edited", "install"}));
    }
    {
        ScopedFace face(Answering(Answer::Install));
        InstallOptionsDialog dialog;
        EXPECT_TRUE(dialog.DoModal(nullptr, nullptr, "C:\\Program Files\\Demo"));
        EXPECT_STREQ(dialog.GetPath(), "C:\\Program Files\\Demo");
        EXPECT_EQ(face->Lines().back()[1], "Installation Options");
    }
    for (Answer answer : {Answer::Cancel, Answer::Close}) {
        ScopedFace face(Answering(answer, "/opt/Other"));
        InstallOptionsDialog dialog;
        EXPECT_FALSE(dialog.DoModal(nullptr, nullptr, "C:\\Demo"));
        EXPECT_FALSE(dialog.Accepted());
    }
}

TEST(InstallOptionsDialog, TitleAndPathLimits) {
    InstallOptionsDialog dialog;
    EXPECT_STREQ(dialog.Title(), "Installation Options");
    dialog.SetTitle(nullptr);
    EXPECT_STREQ(dialog.Title(), "Installation Options");
    const std::string longName(400, 'n');
    dialog.SetTitle(longName.c_str());
    const std::string title = dialog.Title();
    EXPECT_EQ(title.size(), 299u);
    EXPECT_EQ(title.substr(title.size() - 21), " Installation Options");

    ScopedFace face(Answering(Answer::Cancel));
    const std::string longPath(500, 'p');
    dialog.DoModal(nullptr, nullptr, longPath.c_str());
    EXPECT_EQ(std::strlen(dialog.GetPath()), 259u);
    dialog.SetPath(nullptr);
    EXPECT_EQ(std::strlen(dialog.GetPath()), 259u);
}

TEST(InstallOptionsDialog, ProcedureOnABareWindow) {
    const auto proc = &InstallOptionsDialog::DialogProc;
    ui::MemoryDialogWindow window(InstallDialogTemplate());
    InstallOptionsDialog dialog;
    dialog.SetPath("C:\\Start");
    // Commands before the object is known are ignored.
    window.Click(proc, IDC_INSTALL);
    EXPECT_FALSE(window.Ended());
    EXPECT_FALSE(dialog.Accepted());

    window.Send(proc, {MessageKind::InitDialog, 0, 0, &dialog});
    EXPECT_EQ(window.ItemText(IDC_INSTALL_PATH), "C:\\Start");
    EXPECT_EQ(window.Caption(), "Installation Options");
    // Only a change notification from the edit box updates the path.
    window.SetItemText(IDC_INSTALL_PATH, "D:\\Typed");
    window.Send(proc, {MessageKind::Command, IDC_INSTALL_PATH, ui::BN_CLICKED});
    EXPECT_STREQ(dialog.GetPath(), "C:\\Start");
    // A typed path is kept as far as the buffer goes: long enough to be refused, never a
    // shorter path that names its parent.
    window.Type(proc, IDC_INSTALL_PATH, std::string(300, 't'));
    EXPECT_EQ(std::strlen(dialog.GetPath()), InstallOptionsDialog::kTextSize - 1);
    window.Type(proc, IDC_INSTALL_PATH, "D:\\Typed");
    EXPECT_STREQ(dialog.GetPath(), "D:\\Typed");
    // The cancel command (2) is not handled, so Escape does nothing.
    window.Click(proc, 2);
    window.Send(proc, {MessageKind::SysCommand, 0xF020});  // minimise
    EXPECT_FALSE(window.Ended());
    window.Click(proc, IDC_INSTALL);
    EXPECT_TRUE(window.Ended());
    EXPECT_EQ(window.Result(), 0);  // the outcome is in accepted, not the result
    EXPECT_TRUE(dialog.Accepted());
}

TEST(InstallOptionsDialog, BrowseReplacesThePathOnlyWhenAFolderIsPicked) {
    const auto proc = &InstallOptionsDialog::DialogProc;
    ScopedFace face;
    InstallOptionsDialog dialog;
    dialog.SetPath("C:\\Start");
    ui::MemoryDialogWindow window(InstallDialogTemplate());
    window.Send(proc, {MessageKind::InitDialog, 0, 0, &dialog});
    window.Click(proc, IDC_BROWSE);
    EXPECT_STREQ(dialog.GetPath(), "C:\\Start");
    face->CurrentSettings().browseFolder = "/srv/Picked";
    window.Click(proc, IDC_BROWSE);
    EXPECT_STREQ(dialog.GetPath(), "/srv/Picked");
    EXPECT_EQ(window.ItemText(IDC_INSTALL_PATH), "/srv/Picked");
    EXPECT_EQ(face->Lines()[0], (std::vector<std::string>{"browse", "Select Installation Directory", "cancel"}));
    EXPECT_FALSE(window.Ended());
}

TEST(ProgressWindow, PositionsAreTruncatedFromTheSinglePrecisionFraction) {
    EXPECT_EQ(ProgressWindow::Position(0.95f), 474);
    EXPECT_EQ(ProgressWindow::Position(0.05f), 25);
    EXPECT_EQ(ProgressWindow::Position(0.25f), 125);
    EXPECT_EQ(ProgressWindow::Position(0.3f), 150);
    EXPECT_EQ(ProgressWindow::Position(1.0f), 500);

    ScopedFace face;
    ProgressWindow progress;
    progress.SetProgress(0.5f);  // no window yet: nothing happens
    progress.SetText("Unpacking...");
    progress.Create(nullptr, nullptr);
    ASSERT_NE(progress.Window(), nullptr);
    EXPECT_EQ(progress.Window()->Caption(), "Unpacking...");
    for (float f : {0.0f, 0.05f, 0.25f, 0.95f}) progress.SetProgress(f);
    EXPECT_EQ(progress.Window()->ProgressPosition(IDC_PROGRESS), 474);
    auto& memory = static_cast<ui::MemoryDialogWindow&>(*progress.Window());
    EXPECT_EQ(memory.ProgressRange(IDC_PROGRESS), (std::pair<int, int>{0, 500}));

    // With the window up, the caption changes but the stored text does not.
    progress.SetText("Almost done");
    EXPECT_EQ(progress.Window()->Caption(), "Almost done");
    EXPECT_STREQ(progress.Text(), "Unpacking...");
    progress.Destroy();
    EXPECT_EQ(progress.Window(), nullptr);

    std::vector<std::string> positions;
    for (const auto& line : face->Lines())
        if (line[0] == "progress" && line[1] == "position") positions.push_back(line[2]);
    EXPECT_EQ(positions, (std::vector<std::string>{"0", "25", "125", "474"}));
    EXPECT_EQ(face->Lines().back()[1], "close");
}

// Runs `body` on a terminal face whose input is `input`; gives what it printed.
std::string OnTerminal(const std::string& input, const std::function<void()>& body) {
    std::FILE* in = ::fmemopen(const_cast<char*>(input.data()), input.size(), "r");
    if (input.empty()) in = std::fopen("/dev/null", "r");
    char* outText = nullptr;
    size_t outSize = 0;
    std::FILE* out = ::open_memstream(&outText, &outSize);
    {
        auto previous = ui::SetFace(std::make_unique<ui::TerminalFace>(in, out));
        body();
        ui::SetFace(std::move(previous));
    }
    std::fclose(in);
    std::fclose(out);
    std::string printed(outText, outSize);
    std::free(outText);
    return printed;
}

TEST(TerminalFace, OptionsDialogTypedFolderThenEnterInstalls) {
    InstallOptionsDialog dialog;
    bool accepted = false;
    const std::string printed = OnTerminal("e\n/home/me/Demo\n\n", [&] {
        accepted = dialog.DoModal(nullptr, nullptr, "C:\\Demo");
    });
    EXPECT_TRUE(accepted);
    EXPECT_STREQ(dialog.GetPath(), "/home/me/Demo");
    EXPECT_NE(printed.find("Please select the target folder for installation."), std::string::npos);
    EXPECT_NE(printed.find("i) Install (Enter)"), std::string::npos);
}

TEST(TerminalFace, EndOfInputClosesAndSaysNo) {
    InstallOptionsDialog dialog;
    bool accepted = true;
    int answer = 0;
    OnTerminal("", [&] {
        accepted = dialog.DoModal(nullptr, nullptr, "C:\\Demo");
        answer = os::MessageBox("Continue installation?", "DirectX version check",
                                os::MB_YESNO | os::MB_ICONWARNING);
    });
    EXPECT_FALSE(accepted);
    EXPECT_EQ(answer, os::IDNO);

    OnTerminal("b\n/srv/x\nc\nmaybe\ny\n", [&] {
        accepted = dialog.DoModal(nullptr, nullptr, "C:\\Demo");
        answer = os::MessageBox("Continue?", "Question", os::MB_YESNO);
    });
    EXPECT_FALSE(accepted);
    EXPECT_STREQ(dialog.GetPath(), "/srv/x");  // browsed, then cancelled
    EXPECT_EQ(answer, os::IDYES);
}

TEST(TerminalFace, ProgressBarIsDrawnOnOneLine) {
    const std::string printed = OnTerminal("", [] {
        ProgressWindow progress;
        progress.Create(nullptr, nullptr);
        progress.SetProgress(0.25f);
        progress.SetProgress(0.95f);
    });
    EXPECT_NE(printed.find("\rInstalling... [##########"), std::string::npos);
    EXPECT_NE(printed.find(" 94%"), std::string::npos);
    EXPECT_EQ(printed.back(), '\n');
}

}  // namespace

// The graphical face on a real X server (run under xvfb-run): the options dialog and the
// progress window are shown, screenshots of both land in the build tree, and keys and
// buttons act as they should. Skipped where no display can be opened.
#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Progress.H>
#include <FL/Fl_Window.H>
#include <gtest/gtest.h>

#include <filesystem>

#include "dialogs/dialog_templates.h"
#include "dialogs/install_options_dialog.h"
#include "dialogs/progress_window.h"
#include "png_screenshot.h"
#include "ui/gui_face.h"

namespace fs = std::filesystem;

namespace {

class GuiFaceTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!ui::GuiFace::DisplayAvailable())
            GTEST_SKIP() << "no X display could be opened (DISPLAY unset or no server); "
                            "run under xvfb-run to see the dialogs";
        fs::create_directories(SCREENSHOT_DIR);
        auto face = std::make_unique<ui::GuiFace>();
        face_ = face.get();
        previous_ = ui::SetFace(std::move(face));
    }
    void TearDown() override {
        if (face_) ui::SetFace(std::move(previous_));
    }

    static void Settle() {
        for (int i = 0; i < 10; ++i) Fl::wait(0.02);
        Fl::flush();
    }

    ui::GuiFace* face_ = nullptr;
    std::unique_ptr<ui::Face> previous_;
};

TEST_F(GuiFaceTest, OptionsDialogShowsTypesIgnoresEscapeAndInstallsOnEnter) {
    InstallOptionsDialog dialog;
    dialog.SetTitle("Demo");
    bool shotSaved = false, stillOpenAfterEscape = false;
    std::string captionShown, pathShown;
    face_->SetModalShownHook([&](ui::GuiDialogWindow& window) {
        Settle();
        captionShown = window.Window()->label();
        pathShown = window.ItemText(IDC_INSTALL_PATH);
        shotSaved = SaveWindowPng(window.Window(), std::string(SCREENSHOT_DIR) + "/options_dialog.png");
        auto* input = static_cast<Fl_Input*>(window.Item(IDC_INSTALL_PATH));
        input->value("/opt/Typed Folder");
        input->do_callback();  // what typing into it does
        ui::SendKey(window.Window(), FL_Escape);
        stillOpenAfterEscape = !window.Ended() && window.Window()->shown();
        ui::SendKey(window.Window(), FL_Enter);
    });
    EXPECT_TRUE(dialog.DoModal(nullptr, nullptr, "/opt/Demo"));
    EXPECT_EQ(captionShown, "Demo Installation Options");
    EXPECT_EQ(pathShown, "/opt/Demo");
    EXPECT_TRUE(shotSaved);
    EXPECT_TRUE(stillOpenAfterEscape);
    EXPECT_STREQ(dialog.GetPath(), "/opt/Typed Folder");
}

TEST_F(GuiFaceTest, CancelAndClosingLeaveTheDialogUnaccepted) {
    for (bool closeBox : {false, true}) {
        InstallOptionsDialog dialog;
        face_->SetModalShownHook([&](ui::GuiDialogWindow& window) {
            Settle();
            if (closeBox) {
                Fl::e_number = FL_CLOSE;
                window.Window()->do_callback();
            } else {
                window.Item(IDC_CANCEL)->do_callback();
            }
        });
        EXPECT_FALSE(dialog.DoModal(nullptr, nullptr, "/opt/Demo")) << closeBox;
    }
}

TEST_F(GuiFaceTest, ProgressWindowShowsTheBar) {
    ProgressWindow progress;
    progress.SetText("Installing...");
    progress.Create(nullptr, nullptr);
    auto* window = dynamic_cast<ui::GuiDialogWindow*>(progress.Window());
    ASSERT_NE(window, nullptr);
    progress.SetProgress(0);
    progress.SetProgress(0.25f);
    auto* bar = static_cast<Fl_Progress*>(window->Item(IDC_PROGRESS));
    EXPECT_EQ(bar->maximum(), 500.0f);
    EXPECT_EQ(bar->value(), 125.0f);
    EXPECT_EQ(std::string(window->Window()->label()), "Installing...");
    progress.SetProgress(0.95f);
    EXPECT_EQ(bar->value(), 474.0f);
    Settle();
    progress.SetProgress(0.6f);
    EXPECT_TRUE(SaveWindowPng(window->Window(), std::string(SCREENSHOT_DIR) + "/progress_window.png"));
    progress.Destroy();
}

}  // namespace

#include "os/message_box.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

TEST(MessageBox, RecordingFaceKeepsEveryBoxAndAnswers) {
    os::ScopedRecordingMessageBoxFace boxes;
    EXPECT_EQ(os::IDOK, os::MessageBox("Crc error corrupt file", "ProjectName", os::MB_OK));
    EXPECT_EQ(os::IDYES, os::MessageBox("Install?", "Setup", os::MB_YESNO | os::MB_ICONQUESTION));
    boxes->SetAnswerYes(false);
    EXPECT_EQ(os::IDNO, os::MessageBox("Install?", "Setup", os::MB_YESNO | os::MB_ICONQUESTION));
    // A plain OK box has only one answer, whatever the script says.
    EXPECT_EQ(os::IDOK, os::MessageBox("Done", nullptr, os::MB_OK | os::MB_ICONINFORMATION));

    ASSERT_EQ(4u, boxes->Boxes().size());
    EXPECT_EQ("Crc error corrupt file", boxes->Boxes()[0].text);
    EXPECT_EQ("ProjectName", boxes->Boxes()[0].caption);
    EXPECT_EQ("ok", boxes->Boxes()[0].buttons);
    EXPECT_EQ("none", boxes->Boxes()[0].icon);
    EXPECT_EQ("yesno", boxes->Boxes()[1].buttons);
    EXPECT_EQ("question", boxes->Boxes()[1].icon);
    EXPECT_EQ("", boxes->Boxes()[3].caption);
    EXPECT_EQ("information", boxes->Boxes()[3].icon);
}

TEST(MessageBox, UnattendedDefaultFaceComesFromTheEnvironment) {
    char path[] = "/tmp/msglogXXXXXX";
    int fd = ::mkstemp(path);
    ASSERT_GE(fd, 0);
    ::close(fd);
    ::setenv("VANTREL_UNATTENDED", "1", 1);
    ::setenv("VANTREL_ANSWER", "no", 1);
    ::setenv("VANTREL_MESSAGE_LOG", path, 1);
    auto previous = os::SetMessageBoxFace(nullptr);  // the next box picks the default again

    EXPECT_EQ(os::IDNO, os::MessageBox("Replace?\nold\tnew", "Se\\tup", os::MB_YESNO | os::MB_ICONWARNING));
    EXPECT_EQ(os::IDOK, os::MessageBox("Error decompress", "Error", os::MB_OK | os::MB_ICONERROR));

    os::SetMessageBoxFace(std::move(previous));
    ::unsetenv("VANTREL_UNATTENDED");
    ::unsetenv("VANTREL_ANSWER");
    ::unsetenv("VANTREL_MESSAGE_LOG");

    std::ifstream in(path);
    std::stringstream log;
    log << in.rdbuf();
    EXPECT_EQ("box\tyesno\twarning\tSe\\\\tup\tReplace?\\nold\\tnew\n"
              "box\tok\terror\tError\tError decompress\n",
              log.str());
    ::unlink(path);
}

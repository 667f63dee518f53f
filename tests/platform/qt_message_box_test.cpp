#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QWidget>

#include <memory>
#include <ostream>

#include "platform/platform.h"
#include "platform/qt/qt_backend.h"
#include "tests/platform/box_driver.h"

using platform::Answer;
using testsupport::BoxDriver;

namespace {

struct BoxCase {
    unsigned style;
    QMessageBox::StandardButtons buttons;
    QMessageBox::Icon icon;
    QMessageBox::StandardButton first;  // the default button
    QMessageBox::StandardButton press;  // NoButton: the box is closed without one
    Answer answer;
};

constexpr auto Ok = QMessageBox::Ok, Cancel = QMessageBox::Cancel, Yes = QMessageBox::Yes,
               No = QMessageBox::No, Abort = QMessageBox::Abort, Retry = QMessageBox::Retry,
               Ignore = QMessageBox::Ignore, None = QMessageBox::NoButton;

const BoxCase kBoxCases[] = {
    {0x44, Yes | No, QMessageBox::Information, Yes, Yes, Answer::Yes},
    {0x44, Yes | No, QMessageBox::Information, Yes, No, Answer::No},
    {0x15, Retry | Cancel, QMessageBox::Critical, Retry, Retry, Answer::Retry},
    {0x15, Retry | Cancel, QMessageBox::Critical, Retry, Cancel, Answer::Cancel},
    {0x40, Ok, QMessageBox::Information, Ok, Ok, Answer::Ok},
    {0x30, Ok, QMessageBox::Warning, Ok, Ok, Answer::Ok},
    {0x10, Ok, QMessageBox::Critical, Ok, Ok, Answer::Ok},
    {0x41, Ok | Cancel, QMessageBox::Information, Ok, Cancel, Answer::Cancel},
    {0x43, Yes | No | Cancel, QMessageBox::Information, Yes, No, Answer::No},
    {0x43, Yes | No | Cancel, QMessageBox::Information, Yes, Cancel, Answer::Cancel},
    {0x22, Abort | Retry | Ignore, QMessageBox::Question, Abort, Ignore, Answer::Ignore},
    {0x02, Abort | Retry | Ignore, QMessageBox::NoIcon, Abort, Retry, Answer::Retry},
    {0x00, Ok, QMessageBox::NoIcon, Ok, Ok, Answer::Ok},
    {0x5F, Ok, QMessageBox::NoIcon, Ok, Ok, Answer::Ok},  // unknown set and icon
    // Closed without a button: the answer of the button Esc presses.
    {0x00, Ok, QMessageBox::NoIcon, Ok, None, Answer::Ok},
    {0x01, Ok | Cancel, QMessageBox::NoIcon, Ok, None, Answer::Cancel},
    {0x02, Abort | Retry | Ignore, QMessageBox::NoIcon, Abort, None, Answer::Abort},
    {0x03, Yes | No | Cancel, QMessageBox::NoIcon, Yes, None, Answer::Cancel},
    {0x04, Yes | No, QMessageBox::NoIcon, Yes, None, Answer::No},
    {0x05, Retry | Cancel, QMessageBox::NoIcon, Retry, None, Answer::Cancel},
};

void PrintTo(const BoxCase& c, std::ostream* os) {
    *os << "style 0x" << std::hex << c.style << std::dec << ", press " << c.press;
}

class MessageBoxStyles : public ::testing::TestWithParam<BoxCase> {};

TEST_P(MessageBoxStyles, ShowTheStyleAndAnswerThePressedButton) {
    const BoxCase& c = GetParam();
    ASSERT_STREQ(platform::backend().name(), "qt");
    BoxDriver driver(c.press == None ? std::function<void(QMessageBox&)>([](QMessageBox& b) { b.reject(); })
                                     : BoxDriver::press(c.press));
    const Answer answer = platform::backend().messageBox("Text", "Title", c.style);
    const auto& seen = driver.seen();
    ASSERT_TRUE(seen.shown);
    EXPECT_FALSE(seen.stuck);
    EXPECT_EQ(seen.buttons, c.buttons);
    EXPECT_EQ(seen.icon, c.icon);
    EXPECT_EQ(seen.defaultButton, c.first);
    EXPECT_EQ(answer, c.answer);
}

INSTANTIATE_TEST_SUITE_P(Win32Styles, MessageBoxStyles, ::testing::ValuesIn(kBoxCases));

TEST(MessageBox, TitleAndTextArriveAsUnicodePlainTextLines) {
    BoxDriver driver(BoxDriver::press(Ok));
    platform::backend().messageBox("Caf\xE9 \x80 5\r\nL\xEDnea 2\rfin <b>x</b>", "Informaci\xF3n \xBF", 0x40);
    const auto& seen = driver.seen();
    ASSERT_TRUE(seen.shown);
    EXPECT_EQ(seen.title, QString::fromUtf16(u"Información ¿"));
    EXPECT_EQ(seen.text, QString::fromUtf16(u"Café € 5\nLínea 2\nfin <b>x</b>"));
    EXPECT_EQ(seen.format, Qt::PlainText);
}

TEST(MessageBox, BelongsToTheMainWindowAndGivesItTheFocusBack) {
    EXPECT_FALSE(platform::backend().hasMainWindow());
    {
        BoxDriver driver(BoxDriver::press(Ok));
        platform::backend().messageBox("before", "", 0);
        ASSERT_TRUE(driver.seen().shown);
        EXPECT_EQ(driver.seen().parent, nullptr);
    }

    auto main = std::make_unique<QWidget>();
    main->resize(300, 200);
    main->show();
    platform::qt::setMainWindow(main.get());
    main->activateWindow();
    QApplication::processEvents();
    ASSERT_EQ(QApplication::activeWindow(), main.get());
    EXPECT_TRUE(platform::backend().hasMainWindow());

    BoxDriver driver(BoxDriver::press(Yes));
    EXPECT_EQ(platform::backend().messageBox("with main", "", 0x44), Answer::Yes);
    EXPECT_EQ(driver.seen().parent, main.get());
    platform::backend().pumpEvents();
    EXPECT_EQ(QApplication::activeWindow(), main.get());

    main.reset();  // a destroyed main window unregisters itself
    EXPECT_FALSE(platform::backend().hasMainWindow());
    EXPECT_EQ(platform::qt::mainWindow(), nullptr);
}

TEST(QtBackend, UsesAnExistingApplicationWithoutTakingIt) {
    QCoreApplication* app = QCoreApplication::instance();
    ASSERT_NE(app, nullptr);
    int argc = 1;
    char name[] = "second";
    char* argv[] = {name, nullptr};
    {
        auto second = platform::makeQtBackend(argc, argv);
        EXPECT_STREQ(second->name(), "qt");
        EXPECT_EQ(QCoreApplication::instance(), app);
    }
    EXPECT_EQ(QCoreApplication::instance(), app);  // still alive after that backend went
    BoxDriver driver(BoxDriver::press(Ok));
    EXPECT_EQ(platform::backend().messageBox("still", "", 0), Answer::Ok);
    EXPECT_TRUE(driver.seen().shown);
}

}  // namespace

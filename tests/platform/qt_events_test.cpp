#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>

#include "platform/platform.h"
#include "tests/platform/box_driver.h"

using platform::Answer;
using testsupport::BoxDriver;

namespace {

void postKey(QObject* target, Qt::Key key, const QString& text) {
    QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier, text));
    QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyRelease, key, Qt::NoModifier, text));
}

void postClick(QWidget* target) {
    const QPointF at(target->width() / 2.0, target->height() / 2.0);
    const QPointF global = target->mapToGlobal(at);
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
        QCoreApplication::postEvent(target, new QMouseEvent(type, at, global, Qt::LeftButton,
                                                            type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                                                            Qt::NoModifier));
}

struct PaintCounter : QWidget {
    int paints = 0;
    void paintEvent(QPaintEvent*) override { ++paints; }
};

TEST(PendingEvents, DiscardDropsTypedAheadInputAndPumpDeliversIt) {
    QLineEdit edit;
    QPushButton button("Go");
    int clicks = 0;
    QObject::connect(&button, &QPushButton::clicked, [&] { ++clicks; });
    edit.show();
    button.show();
    QApplication::processEvents();

    postKey(&edit, Qt::Key_A, "a");
    postClick(&button);
    platform::backend().discardPendingEvents();
    platform::backend().pumpEvents();
    EXPECT_EQ(edit.text(), "");
    EXPECT_EQ(clicks, 0);

    // Input after the discard is handled again.
    postKey(&edit, Qt::Key_B, "b");
    postClick(&button);
    platform::backend().pumpEvents();
    EXPECT_EQ(edit.text(), "b");
    EXPECT_EQ(clicks, 1);
}

TEST(PendingEvents, DiscardKeepsRepaintsAndDeferredDeletes) {
    PaintCounter widget;
    widget.resize(50, 50);
    widget.show();
    QApplication::processEvents();
    const int painted = widget.paints;
    ASSERT_GT(painted, 0);

    widget.update();
    auto* doomed = new QObject;
    QPointer<QObject> watch(doomed);
    doomed->deleteLater();
    platform::backend().discardPendingEvents();
    platform::backend().pumpEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_GT(widget.paints, painted);
    EXPECT_TRUE(watch.isNull());

    // Later updates still paint (a lost repaint request blocks all of them).
    const int before = widget.paints;
    widget.update();
    platform::backend().pumpEvents();
    EXPECT_GT(widget.paints, before);
}

TEST(PendingEvents, BoxShownWhileDiscardingTakesKeys) {
    // A queued call that shows a box runs while input is being dropped; the
    // box's own loop must still take the user's keys.
    Answer answer = Answer::Cancel;
    bool seen = false;
    bool stuck = false;
    QMetaObject::invokeMethod(
        qApp,
        [&] {
            BoxDriver driver([](QMessageBox& box) { postKey(&box, Qt::Key_Return, "\r"); });
            answer = platform::backend().messageBox("Continue?", "", 0x44);
            seen = driver.seen().shown;
            stuck = driver.seen().stuck;
        },
        Qt::QueuedConnection);
    platform::backend().discardPendingEvents();
    EXPECT_TRUE(seen);
    EXPECT_FALSE(stuck);
    EXPECT_EQ(answer, Answer::Yes);  // Enter presses the first button
}

}  // namespace

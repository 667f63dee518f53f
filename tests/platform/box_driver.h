// Drives the next message box from inside its own modal loop: a timer looks
// for the active modal QMessageBox, records what it shows, then hands it to
// `act` (press a button, send a key, close it). A box still open five seconds
// after that is closed, so a failing test ends instead of hanging.
#pragma once
#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include <functional>
#include <utility>

namespace testsupport {

struct SeenBox {
    bool shown = false;
    bool stuck = false;  // still open long after `act` ran
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    QString title;
    QString text;
    Qt::TextFormat format = Qt::AutoText;
    QWidget* parent = nullptr;
};

class BoxDriver {
public:
    explicit BoxDriver(std::function<void(QMessageBox&)> act) : act_(std::move(act)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
        timer_.start(5);
    }
    const SeenBox& seen() const { return seen_; }

    // Presses one of the box's buttons.
    static std::function<void(QMessageBox&)> press(QMessageBox::StandardButton which) {
        return [which](QMessageBox& box) {
            if (QAbstractButton* b = box.button(which)) b->click();
        };
    }

private:
    void poll() {
        if (!seen_.shown) {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible()) return;
            seen_.shown = true;
            seen_.icon = box->icon();
            seen_.buttons = box->standardButtons();
            seen_.defaultButton = box->defaultButton() ? box->standardButton(box->defaultButton())
                                                       : QMessageBox::NoButton;
            seen_.title = box->windowTitle();
            seen_.text = box->text();
            seen_.format = box->textFormat();
            seen_.parent = box->parentWidget();
            box_ = box;
            act_(*box);
            return;
        }
        if (box_ && box_->isVisible() && ++ticksAfter_ > 1000) {
            seen_.stuck = true;
            box_->done(-1);
        }
    }

    std::function<void(QMessageBox&)> act_;
    QTimer timer_;
    SeenBox seen_;
    QPointer<QMessageBox> box_;
    int ticksAfter_ = 0;
};

}  // namespace testsupport

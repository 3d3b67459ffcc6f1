#include "telephony/formdialing.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <atomic>

#include "telephony/tapiline.h"

namespace vandrex {

namespace {
std::atomic<int> gPending{0};
QEvent::Type TypeOf(int message) { return static_cast<QEvent::Type>(QEvent::User + message); }
}  // namespace

TformDialing::TformDialing(TTAPILine* line) : line_(line) {
    setObjectName(QStringLiteral("formDialing"));
    setWindowTitle(QStringLiteral("Dialing..."));
    auto* name = new QLabel(this);
    name->setObjectName(QStringLiteral("LineName"));
    auto* hangUp = new QPushButton(QStringLiteral("Hang up"), this);
    hangUp->setObjectName(QStringLiteral("HangUp"));
    hangUp->move(0, 24);
}

void TformDialing::Post(int message) {
    ++gPending;
    QCoreApplication::postEvent(this, new QEvent(TypeOf(message)));
}

int TformDialing::Pending() const { return gPending.load(); }

bool TformDialing::event(QEvent* event) {
    if (event->type() == TypeOf(TTAPILine::StartReceiver)) {
        --gPending;
        line_->HandleStartReceiver();
        return true;
    }
    if (event->type() == TypeOf(TTAPILine::NewDataNotice)) {
        --gPending;
        line_->HandleNewDataNotice();
        return true;
    }
    return QWidget::event(event);
}

}  // namespace vandrex

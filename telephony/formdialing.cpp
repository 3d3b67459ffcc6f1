#include "telephony/formdialing.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <QSocketNotifier>
#include <sys/eventfd.h>
#include <unistd.h>

#include "telephony/tapiline.h"

namespace vandrex {

namespace {
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
    noticeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    notifier_ = new QSocketNotifier(noticeFd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TformDialing::NewDataArrived);
}

TformDialing::~TformDialing() {
    delete notifier_;
    ::close(noticeFd_);
}

void TformDialing::Post(int message) {
    ++pending_;
    if (message == TTAPILine::NewDataNotice) {
        const eventfd_t one = 1;
        ::eventfd_write(noticeFd_, one);
        return;
    }
    QCoreApplication::postEvent(this, new QEvent(TypeOf(message)));
}

void TformDialing::NewDataArrived() {
    eventfd_t count = 0;
    if (::eventfd_read(noticeFd_, &count) != 0 || count == 0) return;
    pending_ -= static_cast<int>(count);
    // Each post is one notice; the component sends at most one at a time.
    for (eventfd_t i = 0; i < count; ++i) line_->HandleNewDataNotice();
}

bool TformDialing::event(QEvent* event) {
    if (event->type() == TypeOf(TTAPILine::StartReceiver)) {
        --pending_;
        line_->HandleStartReceiver();
        return true;
    }
    return QWidget::event(event);
}

}  // namespace vandrex

#include "app/clonemode.h"

#include "app/mainwindow.h"

namespace vandrex {

TCloneMode::TCloneMode(TForm1* form) : QObject(form), form_(form) {}

void TCloneMode::BecomeFirstCopyOrClone() { form_->SetTitle(kFirstCopyTitle); }

void TCloneMode::SendResetPlayer() {}

}  // namespace vandrex

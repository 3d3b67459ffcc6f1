#pragma once
// The outside components the main window drives, each behind its interface.
// app/main.cpp chooses the implementations (tests hand in recording doubles)
// and gives them to TForm1, which owns them for the life of the window.

#include <memory>

#include "imaging/captureinterface.h"
#include "ipc/messagetransport.h"
#include "mail/ftpinterface.h"
#include "mail/smtpinterface.h"
#include "media/playerinterface.h"
#include "media/producerinterface.h"
#include "telephony/lineinterface.h"

namespace vandrex {

struct TForm1Components {
    std::unique_ptr<TLineInterface> Modem1;
    std::unique_ptr<TCaptureInterface> VideoCap1;
    std::unique_ptr<TProducerInterface> RealAudioControl;
    std::unique_ptr<TPlayerInterface> Real_Player_1;
    std::unique_ptr<TSmtpInterface> SMTP1;
    std::unique_ptr<TFtpInterface> FTP1;
    // How this copy reaches the others (not owned; outlives the window).
    TMessageTransport* Transport = nullptr;
};

}  // namespace vandrex

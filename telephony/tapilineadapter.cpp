#include "telephony/tapilineadapter.h"

namespace vandrex {

TTAPILineAdapter::TTAPILineAdapter() : fLine(std::make_unique<TTAPILine>()) {
    fLine->WaitForCall = false;
    fLine->Timeout = 60;
}

}  // namespace vandrex

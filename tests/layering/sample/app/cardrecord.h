#pragma once
// The card core may not lean on the window either.
#include "app/panels/cardpanel.h"

#pragma once
// A platform header that reaches up into the window: the check must refuse it.
#include "app/mainwindow.h"

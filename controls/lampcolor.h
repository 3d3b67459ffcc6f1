#pragma once
// The three colours of a lamp, as the cores without widgets name them (the
// mail upload's FTP lamp, the data phone's lamps); the lamp controls' own
// TLEDColor is their widget-side twin.

namespace vandrex {

enum class TLampColor { Red, Green, Yellow };

}  // namespace vandrex

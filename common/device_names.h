// Names the system reserves for devices. Opening "C:\folder\aux.txt" reaches the auxiliary
// device, not a file, and reading a serial or auxiliary device can wait forever; a definition
// naming one must never be taken for a file that exists.
#pragma once
#include <string_view>

namespace quillon {

// True for a path component the system maps to a device: CON, PRN, AUX, NUL, COM0-COM9,
// LPT0-LPT9, CONIN$, CONOUT$ or CLOCK$ in any case, also with an extension or a stream
// ("nul.txt", "com1:x") and with trailing dots or spaces ("Aux .").
bool isDeviceName(std::string_view component);

// True for a path whose last component is a device name, and for any path in the device
// namespaces ("\\.\", "\\?\", "\??\"), which no definition has a reason to name.
bool isDevicePath(std::string_view path);

}  // namespace quillon

// The Windows headers as this backend uses them.
#pragma once

#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

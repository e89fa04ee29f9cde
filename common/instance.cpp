#include "common/instance.h"

HINSTANCE g_hInstance = nullptr;

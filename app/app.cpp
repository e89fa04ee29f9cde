#include "app/app.h"

HINSTANCE g_hInstance = nullptr;

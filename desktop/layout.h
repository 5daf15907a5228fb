#pragma once
#include "list_fonts.h"
#include "print_settings_file.h"
#include "window_band.h"
#include "window_geometry.h"

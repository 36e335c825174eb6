#pragma once

// The looks of bookmarked rows are window colours; they live with the
// window's other colours.
#include "render/colors.h"

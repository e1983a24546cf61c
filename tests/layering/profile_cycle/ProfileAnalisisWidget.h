#pragma once

// The window includes its drawing class.
#include "profile/TraceGraphsHolder.h"

// A numeric header that reaches up to the trace model, for the test that shows the layering
// check refusing it. Never compiled.
#pragma once

#include "core/Settings.h"
#include "processing/Fitting.h"

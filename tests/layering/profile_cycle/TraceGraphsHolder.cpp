// A drawing class that reaches up into the window, which includes it back: refused.
#include "profile/ProfileAnalisisWidget.h"
#include "profile/TraceGraphsHolder.h"

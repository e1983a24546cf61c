// A drawing class that reaches up into the window, which includes it back: refused.
#include "profile/TraceGraphsHolder.h"
#include "profile/ProfileAnalisisWidget.h"

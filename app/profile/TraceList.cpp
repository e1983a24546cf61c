#include "profile/TraceList.h"

TraceList::TraceList(QWidget *parent)
    : QWidget(parent)
{ }

// One event on the container's sink: IDispatch::Invoke by DISPID, positional arguments
// only. Whatever the sink returns, in its status, result or exception record, is dropped.
#pragma once

#include <oaidl.h>

// arguments stand in the reverse order of the event's parameters, as COM prescribes.
void RaiseEvent(IDispatch* sink, DISPID event, WORD flags, VARIANTARG* arguments, UINT count);

#include "TavrixConnection.h"

#include <ocidl.h>

#include "ErrorReporting.h"

using Microsoft::WRL::ComPtr;

namespace {

void Check(HRESULT status, const std::u16string& step)
{
    if (FAILED(status))
        throw PlatformFault(status, step + u": " + StatusText(status));
}

// A host of one architecture sees only the control registered for it: the commonest reason a
// terminal cannot read, said so that whoever reads Err.Description knows what to install.
constexpr const char16_t* ProgramKind = sizeof(void*) == 8 ? u"64-bit" : u"32-bit";

void CheckCreated(HRESULT status)
{
    if (status == REGDB_E_CLASSNOTREG)
        throw PlatformFault(status, u"The Tavrix control (Tavrix.Tavrix) is not registered for " +
                                        std::u16string(ProgramKind) + u" programs: register the " + ProgramKind +
                                        u" Norvane.ocx (0x80040154)");
    Check(status, u"The Tavrix control (Tavrix.Tavrix) cannot be created");
}

}  // namespace

TavrixConnection::TavrixConnection(IDispatch* sink)
{
    // Each interface is asked of the object creation gave.
    CheckCreated(CoCreateInstance(CLSID_Tavrix, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&object_)));
    Check(object_.As(&control_), u"The Tavrix control does not answer ITavrix");
    ComPtr<IConnectionPointContainer> container;
    Check(object_.As(&container), u"The Tavrix control offers no events");
    ComPtr<IConnectionPoint> point;
    Check(container->FindConnectionPoint(DIID_ITavrixEvents, &point), u"The Tavrix control offers no ITavrixEvents");
    Check(point->Advise(sink, &cookie_), u"The card reader's sink cannot be connected to the Tavrix control's events");
    point_ = point;
}

TavrixConnection::~TavrixConnection()
{
    // Before any reference goes: the control must not raise an event into a reader that is
    // going away. The members then release the point, the interface and the control, in that order.
    if (point_)
        point_->Unadvise(cookie_);
}

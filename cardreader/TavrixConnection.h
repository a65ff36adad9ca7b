// One Tavrix control, created through COM, with an event sink connected to its events for as
// long as this lives. Nothing here knows the control's inside: a registered control and one
// named by an application's manifest serve alike.
#pragma once

#include <windows.h>

#include <ocidl.h>
#include <wrl/client.h>

#include "Tavrix_h.h"

class TavrixConnection {
public:
    // Creates the control and connects sink to ITavrixEvents; raises a fault that says which
    // step failed, leaving nothing behind.
    explicit TavrixConnection(IDispatch* sink);
    // Disconnects the sink; the control goes with its last reference.
    ~TavrixConnection();
    TavrixConnection(const TavrixConnection&) = delete;
    TavrixConnection& operator=(const TavrixConnection&) = delete;

    const Microsoft::WRL::ComPtr<ITavrix>& control() const { return control_; }

private:
    // The object creation gave, which is the control's identity: kept, so that a control whose
    // interfaces are separate objects lives as long as the connection.
    Microsoft::WRL::ComPtr<IUnknown> object_;
    Microsoft::WRL::ComPtr<ITavrix> control_;
    Microsoft::WRL::ComPtr<IConnectionPoint> point_;
    DWORD cookie_ = 0;
};

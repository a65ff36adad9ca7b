// FontLink: ties the form's font to at most one platform font object (IFont) and keeps
// the two in step both ways. The object's changes arrive through a property-notification
// sink connected to it; the form font's changes are pushed by Changed.
#pragma once

#include <ocidl.h>
#include <olectl.h>
#include <wrl/client.h>

#include "FormFont.h"

class FontLink {
public:
    // owner: kept alive while a change of the object is taken over, when the form font's
    // change reaches the container, whose code may drop its last reference to the owner.
    explicit FontLink(FormFont& font, IUnknown* owner = nullptr);
    ~FontLink();
    FontLink(const FontLink&) = delete;
    FontLink& operator=(const FontLink&) = delete;

    // Creates a platform font object from the form font and attaches it.
    void Make();
    // Detaches the object attached so far and attaches this one (or none), then updates
    // the form font from it.
    void Attach(IFont* object);
    // Copies the attached object's attributes into the form font, as one change.
    void Update();
    // The form font changed: copies it into the attached object.
    void Changed();

    IFont* attached() const { return attached_.Get(); }

private:
    class Sink;
    void Detach();

    FormFont& font_;
    IUnknown* owner_;
    Microsoft::WRL::ComPtr<IFont> attached_;
    Microsoft::WRL::ComPtr<IConnectionPoint> point_;
    Microsoft::WRL::ComPtr<Sink> sink_;
    DWORD cookie_ = 0;
    bool syncing_ = false;  // set while one side is copied into the other
};

#include "ControlObject.h"

#include "ControlFactory.h"
#include "ParkingWindow.h"
#include "ServerModule.h"

ControlObject::ControlObject(ControlFactory& factory, IUnknown* outer)
    : factory_(factory), controlling_(outer ? outer : &inner_)
{
    ++factory_.Owner.ObjectCount;
    try {
        // The form lives hidden in the parking window until a container shows it.
        form_ = std::make_unique<TTavrix>(controlling_, ParkingWindow());
        form_->Initialize();
    } catch (...) {
        --factory_.Owner.ObjectCount;
        throw;
    }
}

ControlObject::~ControlObject()
{
    form_.reset();
    if (!ServerShutDown)
        --factory_.Owner.ObjectCount;
}

HRESULT ControlObject::InnerQueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (IsEqualIID(iid, IID_IUnknown)) {
        *object = &inner_;
        InnerAddRef();
        return S_OK;
    }
    if (IsEqualIID(iid, IID_ITavrix) || IsEqualIID(iid, IID_IDispatch)) {
        *object = static_cast<ITavrix*>(form_.get());
        controlling_->AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

ULONG ControlObject::InnerAddRef() { return ++references_; }

ULONG ControlObject::InnerRelease()
{
    const ULONG left = --references_;
    if (left == 0) {
        references_ = 1;  // the form's last events may take and drop references
        delete this;
    }
    return left;
}

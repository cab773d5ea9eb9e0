#include "winviewer/BrowserHost.h"

#include <exdispid.h>
#include <mshtml.h>
#include <olectl.h>

namespace vantrel::winviewer {
namespace {

constexpr const wchar_t* kPageCharset = L"windows-1252";
constexpr long kWindows1252 = 1252;

template <typename T>
void releaseAndClear(T*& pointer) {
  if (pointer) pointer->Release();
  pointer = nullptr;
}

// An event's arguments come last to first.
const VARIANT& argument(const DISPPARAMS* parameters, UINT fromFirst) {
  return parameters->rgvarg[parameters->cArgs - 1 - fromFirst];
}

IDispatch* dispatchOf(const VARIANT& value) {
  if (value.vt == VT_DISPATCH) return value.pdispVal;
  if (value.vt == (VT_DISPATCH | VT_BYREF) && value.ppdispVal) return *value.ppdispVal;
  return nullptr;
}

bool boolOf(const VARIANT& value) {
  if (value.vt == VT_BOOL) return value.boolVal != VARIANT_FALSE;
  if (value.vt == (VT_BOOL | VT_BYREF) && value.pboolVal) return *value.pboolVal != VARIANT_FALSE;
  return false;
}

long longOf(const VARIANT& value) {
  if (value.vt == VT_I4) return value.lVal;
  if (value.vt == (VT_I4 | VT_BYREF) && value.plVal) return *value.plVal;
  return 0;
}

}  // namespace

BrowserHost* BrowserHost::create(HWND parent, BrowserListener* listener) {
  auto* host = new BrowserHost(parent, listener);
  if (!host->embed()) {
    host->close();
    host->Release();
    return nullptr;
  }
  host->connectEvents();
  return host;
}

bool BrowserHost::embed() {
  if (FAILED(CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                              reinterpret_cast<void**>(&object_))))
    return false;
  if (FAILED(object_->SetClientSite(this))) return false;
  OleSetContainedObject(object_, TRUE);
  RECT area{};
  GetClientRect(parent_, &area);
  if (FAILED(object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, this, 0, parent_, &area)))
    return false;
  return SUCCEEDED(object_->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&browser_)));
}

void BrowserHost::connectEvents() {
  IConnectionPointContainer* container = nullptr;
  if (FAILED(browser_->QueryInterface(IID_IConnectionPointContainer,
                                      reinterpret_cast<void**>(&container))))
    return;
  if (SUCCEEDED(container->FindConnectionPoint(DIID_DWebBrowserEvents2, &events_)) &&
      FAILED(events_->Advise(static_cast<IDispatch*>(this), &eventsCookie_))) {
    releaseAndClear(events_);
  }
  container->Release();
}

bool BrowserHost::navigate(const std::wstring& address) {
  if (!browser_) return false;
  charsetChecked_ = false;
  VARIANT target;
  VariantInit(&target);
  target.vt = VT_BSTR;
  target.bstrVal = SysAllocString(address.c_str());
  VARIANT empty;
  VariantInit(&empty);
  const HRESULT result = browser_->Navigate2(&target, &empty, &empty, &empty, &empty);
  VariantClear(&target);
  return SUCCEEDED(result);
}

void BrowserHost::goBack() {
  if (browser_) browser_->GoBack();
}
void BrowserHost::goForward() {
  if (browser_) browser_->GoForward();
}
void BrowserHost::reload() {
  // The control may read the reloaded page with its own guess again: checked once more.
  charsetChecked_ = false;
  if (browser_) browser_->Refresh();
}
void BrowserHost::print() {
  if (browser_) browser_->ExecWB(OLECMDID_PRINT, OLECMDEXECOPT_PROMPTUSER, nullptr, nullptr);
}

void BrowserHost::place(const RECT& area) {
  IOleInPlaceObject* inPlace = nullptr;
  if (object_ && SUCCEEDED(object_->QueryInterface(IID_IOleInPlaceObject,
                                                   reinterpret_cast<void**>(&inPlace)))) {
    inPlace->SetObjectRects(&area, &area);
    inPlace->Release();
  }
}

bool BrowserHost::translateKey(MSG& message) {
  if (!browser_ || message.message < WM_KEYFIRST || message.message > WM_KEYLAST) return false;
  HWND own = nullptr;
  IOleWindow* window = nullptr;
  if (SUCCEEDED(browser_->QueryInterface(IID_IOleWindow, reinterpret_cast<void**>(&window)))) {
    window->GetWindow(&own);
    window->Release();
  }
  // Only keys meant for the page: the window's own buttons keep theirs.
  if (!own || (message.hwnd != own && !IsChild(own, message.hwnd))) return false;
  IOleInPlaceActiveObject* active = nullptr;
  if (FAILED(
          browser_->QueryInterface(IID_IOleInPlaceActiveObject, reinterpret_cast<void**>(&active))))
    return false;
  const bool handled = active->TranslateAccelerator(&message) == S_OK;
  active->Release();
  return handled;
}

void BrowserHost::close() {
  if (events_) {
    events_->Unadvise(eventsCookie_);
    releaseAndClear(events_);
  }
  if (browser_) browser_->Stop();
  releaseAndClear(browser_);
  if (object_) {
    IOleInPlaceObject* inPlace = nullptr;
    if (SUCCEEDED(
            object_->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inPlace)))) {
      inPlace->InPlaceDeactivate();
      inPlace->Release();
    }
    object_->Close(OLECLOSE_NOSAVE);
    object_->SetClientSite(nullptr);
  }
  releaseAndClear(object_);
  listener_ = nullptr;
}

bool BrowserHost::isTopLevel(IDispatch* frame) const {
  if (!frame || !browser_) return false;
  IUnknown* theirs = nullptr;
  IUnknown* ours = nullptr;
  frame->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&theirs));
  browser_->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&ours));
  const bool same = theirs && theirs == ours;
  if (theirs) theirs->Release();
  if (ours) ours->Release();
  return same;
}

void BrowserHost::readAsWindows1252() {
  IDispatch* document = nullptr;
  if (FAILED(browser_->get_Document(&document)) || !document) return;
  IHTMLDocument2* html = nullptr;
  if (SUCCEEDED(document->QueryInterface(IID_IHTMLDocument2, reinterpret_cast<void**>(&html)))) {
    BSTR charset = nullptr;
    const bool wrong =
        SUCCEEDED(html->get_charset(&charset)) && (!charset || lstrcmpiW(charset, kPageCharset));
    SysFreeString(charset);
    if (wrong) {
      BSTR wanted = SysAllocString(kPageCharset);
      if (SUCCEEDED(html->put_charset(wanted))) browser_->Refresh();
      SysFreeString(wanted);
    }
    html->Release();
  }
  document->Release();
}

void BrowserHost::onDocumentComplete(IDispatch* frame) {
  if (!isTopLevel(frame)) return;
  // The page declares no charset; where the control guessed another one despite the ambient
  // code page, it reads the page once more as Windows-1252.
  if (!charsetChecked_) {
    charsetChecked_ = true;
    readAsWindows1252();
  }
  if (listener_) listener_->pageLoaded();
}

// IUnknown

STDMETHODIMP BrowserHost::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (riid == IID_IUnknown || riid == IID_IOleClientSite) {
    *object = static_cast<IOleClientSite*>(this);
  } else if (riid == IID_IOleWindow || riid == IID_IOleInPlaceSite) {
    *object = static_cast<IOleInPlaceSite*>(this);
  } else if (riid == IID_IOleInPlaceUIWindow || riid == IID_IOleInPlaceFrame) {
    *object = static_cast<IOleInPlaceFrame*>(this);
  } else if (riid == IID_IDispatch || riid == DIID_DWebBrowserEvents2) {
    *object = static_cast<IDispatch*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) BrowserHost::AddRef() {
  return static_cast<ULONG>(InterlockedIncrement(&references_));
}

STDMETHODIMP_(ULONG) BrowserHost::Release() {
  const LONG left = InterlockedDecrement(&references_);
  if (left == 0) delete this;
  return static_cast<ULONG>(left);
}

// IOleClientSite: a site without storage of its own.

STDMETHODIMP BrowserHost::SaveObject() { return E_NOTIMPL; }
STDMETHODIMP BrowserHost::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
  if (moniker) *moniker = nullptr;
  return E_NOTIMPL;
}
STDMETHODIMP BrowserHost::GetContainer(IOleContainer** container) {
  if (container) *container = nullptr;
  return E_NOINTERFACE;
}
STDMETHODIMP BrowserHost::ShowObject() { return S_OK; }
STDMETHODIMP BrowserHost::OnShowWindow(BOOL) { return S_OK; }
STDMETHODIMP BrowserHost::RequestNewObjectLayout() { return E_NOTIMPL; }

// IOleWindow

STDMETHODIMP BrowserHost::GetWindow(HWND* window) {
  if (!window) return E_POINTER;
  *window = parent_;
  return S_OK;
}
STDMETHODIMP BrowserHost::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }

// IOleInPlaceSite: the control may always activate in place, over the area the window gives.

STDMETHODIMP BrowserHost::CanInPlaceActivate() { return S_OK; }
STDMETHODIMP BrowserHost::OnInPlaceActivate() { return S_OK; }
STDMETHODIMP BrowserHost::OnUIActivate() { return S_OK; }
STDMETHODIMP BrowserHost::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                           LPRECT position, LPRECT clip,
                                           LPOLEINPLACEFRAMEINFO frameInfo) {
  if (!frame || !document || !position || !clip || !frameInfo) return E_POINTER;
  *frame = static_cast<IOleInPlaceFrame*>(this);
  AddRef();
  *document = nullptr;
  GetClientRect(parent_, position);
  GetClientRect(parent_, clip);
  frameInfo->fMDIApp = FALSE;
  frameInfo->hwndFrame = parent_;
  frameInfo->haccel = nullptr;
  frameInfo->cAccelEntries = 0;
  return S_OK;
}
STDMETHODIMP BrowserHost::Scroll(SIZE) { return S_OK; }
STDMETHODIMP BrowserHost::OnUIDeactivate(BOOL) { return S_OK; }
STDMETHODIMP BrowserHost::OnInPlaceDeactivate() { return S_OK; }
STDMETHODIMP BrowserHost::DiscardUndoState() { return S_OK; }
STDMETHODIMP BrowserHost::DeactivateAndUndo() { return S_OK; }
STDMETHODIMP BrowserHost::OnPosRectChange(LPCRECT position) {
  if (position) place(*position);
  return S_OK;
}

// IOleInPlaceUIWindow and IOleInPlaceFrame: no tool space and no menus are shared.

STDMETHODIMP BrowserHost::GetBorder(LPRECT) { return INPLACE_E_NOTOOLSPACE; }
STDMETHODIMP BrowserHost::RequestBorderSpace(LPCBORDERWIDTHS) { return INPLACE_E_NOTOOLSPACE; }
STDMETHODIMP BrowserHost::SetBorderSpace(LPCBORDERWIDTHS) { return OLE_E_INVALIDRECT; }
STDMETHODIMP BrowserHost::SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) { return S_OK; }
STDMETHODIMP BrowserHost::InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) { return E_NOTIMPL; }
STDMETHODIMP BrowserHost::SetMenu(HMENU, HOLEMENU, HWND) { return S_OK; }
STDMETHODIMP BrowserHost::RemoveMenus(HMENU) { return E_NOTIMPL; }
STDMETHODIMP BrowserHost::SetStatusText(LPCOLESTR text) {
  if (listener_ && text) listener_->statusText(text);
  return S_OK;
}
STDMETHODIMP BrowserHost::EnableModeless(BOOL) { return S_OK; }
STDMETHODIMP BrowserHost::TranslateAccelerator(LPMSG, WORD) { return S_FALSE; }

// IDispatch

STDMETHODIMP BrowserHost::GetTypeInfoCount(UINT* count) {
  if (count) *count = 0;
  return S_OK;
}
STDMETHODIMP BrowserHost::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return E_NOTIMPL;
}
STDMETHODIMP BrowserHost::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
  return E_NOTIMPL;
}

STDMETHODIMP BrowserHost::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* parameters,
                                 VARIANT* result, EXCEPINFO*, UINT*) {
  if (id == DISPID_AMBIENT_CODEPAGE) {
    if (!result) return E_POINTER;
    result->vt = VT_I4;
    result->lVal = kWindows1252;
    return S_OK;
  }
  if (!listener_ || !parameters) return DISP_E_MEMBERNOTFOUND;
  switch (id) {
    case DISPID_DOCUMENTCOMPLETE:
      if (parameters->cArgs >= 1) onDocumentComplete(dispatchOf(argument(parameters, 0)));
      return S_OK;
    case DISPID_NAVIGATEERROR:
      if (parameters->cArgs >= 1 && isTopLevel(dispatchOf(argument(parameters, 0))))
        listener_->navigationFailed();
      return S_OK;
    case DISPID_STATUSTEXTCHANGE:
      if (parameters->cArgs >= 1 && argument(parameters, 0).vt == VT_BSTR &&
          argument(parameters, 0).bstrVal)
        listener_->statusText(argument(parameters, 0).bstrVal);
      return S_OK;
    case DISPID_COMMANDSTATECHANGE:
      if (parameters->cArgs >= 2) {
        const long command = longOf(argument(parameters, 0));
        const bool enabled = boolOf(argument(parameters, 1));
        if (command == CSC_NAVIGATEBACK) canGoBack_ = enabled;
        if (command == CSC_NAVIGATEFORWARD) canGoForward_ = enabled;
        listener_->historyChanged(canGoBack_, canGoForward_);
      }
      return S_OK;
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
}

}  // namespace vantrel::winviewer

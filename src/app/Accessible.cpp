#include "app/Accessible.h"

#include <oleacc.h>
#include <wrl/client.h>

#include "win32/SystemLibrary.h"

using Microsoft::WRL::ComPtr;

namespace {

using TCreateStdAccessibleObject = HRESULT(WINAPI*)(HWND, LONG, REFIID, void**);
using TLresultFromObject = LRESULT(WINAPI*)(REFIID, WPARAM, IUnknown*);

struct TOleacc {
  TModule Module = LoadSystemLibrary(L"oleacc.dll");
  TCreateStdAccessibleObject CreateStdAccessibleObject =
      GetProcedure<TCreateStdAccessibleObject>(Module.Get(), "CreateStdAccessibleObject");
  TLresultFromObject LresultFromObject =
      GetProcedure<TLresultFromObject>(Module.Get(), "LresultFromObject");
};

// Loaded once and kept: the objects handed out live in the tools' hands.
const TOleacc& Oleacc() {
  static const TOleacc Library;
  return Library;
}

bool IsSelf(const VARIANT& Child) { return Child.vt == VT_I4 && Child.lVal == CHILDID_SELF; }

// The standard object with its role, name and value replaced; everything else is the standard
// object's answer.
class TAccessible final : public IAccessible {
 public:
  TAccessible(HWND Window, ComPtr<IAccessible> Standard, const TAccessibleInfo& Info)
      : Window_(Window), Standard_(std::move(Standard)), Info_(Info) {}

  // IUnknown: the interfaces the standard object has besides (IOleWindow, IEnumVARIANT) are its.
  STDMETHODIMP QueryInterface(REFIID Iid, void** Object) noexcept override {
    if (!Object) return E_POINTER;
    if (Iid == __uuidof(IUnknown) || Iid == __uuidof(IDispatch) || Iid == __uuidof(IAccessible)) {
      *Object = static_cast<IAccessible*>(this);
      AddRef();
      return S_OK;
    }
    return Standard_->QueryInterface(Iid, Object);
  }
  STDMETHODIMP_(ULONG) AddRef() noexcept override { return InterlockedIncrement(&RefCount_); }
  STDMETHODIMP_(ULONG) Release() noexcept override {
    const LONG Count = InterlockedDecrement(&RefCount_);
    if (Count == 0) delete this;
    return static_cast<ULONG>(Count);
  }

  // IDispatch
  STDMETHODIMP GetTypeInfoCount(UINT* Count) noexcept override {
    return Standard_->GetTypeInfoCount(Count);
  }
  STDMETHODIMP GetTypeInfo(UINT Index, LCID Locale, ITypeInfo** Info) noexcept override {
    return Standard_->GetTypeInfo(Index, Locale, Info);
  }
  STDMETHODIMP GetIDsOfNames(REFIID Iid, LPOLESTR* Names, UINT Count, LCID Locale,
                             DISPID* Ids) noexcept override {
    return Standard_->GetIDsOfNames(Iid, Names, Count, Locale, Ids);
  }
  STDMETHODIMP Invoke(DISPID Id, REFIID Iid, LCID Locale, WORD Flags, DISPPARAMS* Params,
                      VARIANT* Result, EXCEPINFO* Exception, UINT* ArgError) noexcept override {
    return Standard_->Invoke(Id, Iid, Locale, Flags, Params, Result, Exception, ArgError);
  }

  // IAccessible: what this control is.
  STDMETHODIMP get_accRole(VARIANT Child, VARIANT* Role) noexcept override {
    if (!IsSelf(Child) || !Role) return Standard_->get_accRole(Child, Role);
    VariantInit(Role);
    Role->vt = VT_I4;
    Role->lVal = Info_.Role;
    return S_OK;
  }
  STDMETHODIMP get_accName(VARIANT Child, BSTR* Name) noexcept override {
    if (!IsSelf(Child) || !Name || Info_.Name.empty()) return Standard_->get_accName(Child, Name);
    return Text(Info_.Name, Name);
  }
  STDMETHODIMP get_accValue(VARIANT Child, BSTR* Value) noexcept override {
    if (!IsSelf(Child) || !Value || !Info_.ValueIsText)
      return Standard_->get_accValue(Child, Value);
    wchar_t Buffer[64] = {};
    GetWindowTextW(Window_, Buffer, 64);
    return Text(Buffer, Value);
  }

  // IAccessible: the rest as the standard object answers it.
  STDMETHODIMP get_accParent(IDispatch** Parent) noexcept override {
    return Standard_->get_accParent(Parent);
  }
  STDMETHODIMP get_accChildCount(LONG* Count) noexcept override {
    return Standard_->get_accChildCount(Count);
  }
  STDMETHODIMP get_accChild(VARIANT Child, IDispatch** Object) noexcept override {
    return Standard_->get_accChild(Child, Object);
  }
  STDMETHODIMP get_accDescription(VARIANT Child, BSTR* Text) noexcept override {
    return Standard_->get_accDescription(Child, Text);
  }
  STDMETHODIMP get_accState(VARIANT Child, VARIANT* State) noexcept override {
    return Standard_->get_accState(Child, State);
  }
  STDMETHODIMP get_accHelp(VARIANT Child, BSTR* Text) noexcept override {
    return Standard_->get_accHelp(Child, Text);
  }
  STDMETHODIMP get_accHelpTopic(BSTR* File, VARIANT Child, LONG* Topic) noexcept override {
    return Standard_->get_accHelpTopic(File, Child, Topic);
  }
  STDMETHODIMP get_accKeyboardShortcut(VARIANT Child, BSTR* Text) noexcept override {
    return Standard_->get_accKeyboardShortcut(Child, Text);
  }
  STDMETHODIMP get_accFocus(VARIANT* Child) noexcept override {
    return Standard_->get_accFocus(Child);
  }
  STDMETHODIMP get_accSelection(VARIANT* Children) noexcept override {
    return Standard_->get_accSelection(Children);
  }
  STDMETHODIMP get_accDefaultAction(VARIANT Child, BSTR* Text) noexcept override {
    return Standard_->get_accDefaultAction(Child, Text);
  }
  STDMETHODIMP accSelect(LONG Flags, VARIANT Child) noexcept override {
    return Standard_->accSelect(Flags, Child);
  }
  STDMETHODIMP accLocation(LONG* Left, LONG* Top, LONG* Width, LONG* Height,
                           VARIANT Child) noexcept override {
    return Standard_->accLocation(Left, Top, Width, Height, Child);
  }
  STDMETHODIMP accNavigate(LONG Direction, VARIANT Start, VARIANT* End) noexcept override {
    return Standard_->accNavigate(Direction, Start, End);
  }
  STDMETHODIMP accHitTest(LONG Left, LONG Top, VARIANT* Child) noexcept override {
    return Standard_->accHitTest(Left, Top, Child);
  }
  STDMETHODIMP accDoDefaultAction(VARIANT Child) noexcept override {
    return Standard_->accDoDefaultAction(Child);
  }
  STDMETHODIMP put_accName(VARIANT Child, BSTR Name) noexcept override {
    return Standard_->put_accName(Child, Name);
  }
  STDMETHODIMP put_accValue(VARIANT Child, BSTR Value) noexcept override {
    return Standard_->put_accValue(Child, Value);
  }

 private:
  ~TAccessible() = default;

  static HRESULT Text(const std::wstring& Source, BSTR* Target) {
    *Target = SysAllocStringLen(Source.data(), static_cast<UINT>(Source.size()));
    return *Target ? S_OK : E_OUTOFMEMORY;
  }

  LONG RefCount_ = 1;
  HWND Window_;
  ComPtr<IAccessible> Standard_;
  TAccessibleInfo Info_;
};

}  // namespace

LRESULT AnswerGetObject(HWND Window, WPARAM wParam, LPARAM lParam, const TAccessibleInfo& Info) {
  // The object id arrives in the low 32 bits; a 64-bit lParam may carry it sign-extended or not.
  if (static_cast<DWORD>(lParam) != static_cast<DWORD>(OBJID_CLIENT) || Info.Role == 0) return 0;
  const TOleacc& Library = Oleacc();
  if (!Library.CreateStdAccessibleObject || !Library.LresultFromObject) return 0;
  ComPtr<IAccessible> Standard;
  if (FAILED(Library.CreateStdAccessibleObject(Window, OBJID_CLIENT, IID_PPV_ARGS(&Standard))))
    return 0;
  ComPtr<IAccessible> Object;
  Object.Attach(new TAccessible(Window, std::move(Standard), Info));
  return Library.LresultFromObject(__uuidof(IAccessible), wParam, Object.Get());
}

// CUnknown: the reference-counted, aggregatable root of every base-class COM object.
//
// An object has two IUnknowns. The non-delegating one (INonDelegatingUnknown) counts
// the object's own references and answers its own interfaces. The delegating one, which
// every interface of the object inherits, forwards to GetOwner(): the outer object when
// the object is aggregated, else the object's own non-delegating IUnknown. Classes
// write DECLARE_IUNKNOWN to get the delegating three methods and override
// NonDelegatingQueryInterface to answer their interfaces, deferring to the base class
// for the rest.
#pragma once

#include "BaseClassesSupport.h"

struct INonDelegatingUnknown {
  virtual HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** object) = 0;
  virtual ULONG STDMETHODCALLTYPE NonDelegatingAddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE NonDelegatingRelease() = 0;

 protected:
  ~INonDelegatingUnknown() = default;
};
typedef INonDelegatingUnknown* PNDUNKNOWN;

class KCM_BASECLASSES_API CUnknown : public INonDelegatingUnknown {
 public:
  // `outer` is the controlling unknown when aggregated, else null. The count starts at 0:
  // whoever creates the object takes the first reference.
  CUnknown(LPCTSTR name, LPUNKNOWN outer);
  CUnknown(LPCTSTR name, LPUNKNOWN outer, HRESULT* result);
  virtual ~CUnknown();

  CUnknown(const CUnknown&) = delete;
  CUnknown& operator=(const CUnknown&) = delete;

  // Answers IUnknown only: the non-delegating IUnknown, with a new reference.
  STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** object) override;
  STDMETHODIMP_(ULONG) NonDelegatingAddRef() override;
  // Deletes the object when the count reaches 0.
  STDMETHODIMP_(ULONG) NonDelegatingRelease() override;

  // Where the delegating IUnknown methods go: the outer object or our own.
  LPUNKNOWN GetOwner() const { return m_pUnknown; }
  // The object's own IUnknown, whose methods are the non-delegating ones: what a class
  // factory hands to an aggregating outer object. No reference is added.
  LPUNKNOWN GetNonDelegatingUnknown() { return &m_nonDelegating; }

 protected:
  volatile LONG m_cRef;

 private:
  // A real IUnknown whose slots lead to the non-delegating methods, so that calls through
  // the object's own IUnknown never go through a reinterpreted vtable.
  class NonDelegatingPart final : public IUnknown {
   public:
    explicit NonDelegatingPart(CUnknown& object) : object_(object) {}
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
      return object_.NonDelegatingQueryInterface(iid, object);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return object_.NonDelegatingAddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return object_.NonDelegatingRelease(); }

   private:
    CUnknown& object_;
  };

  NonDelegatingPart m_nonDelegating;
  const LPUNKNOWN m_pUnknown;
};

// Hands out `unknown` through `object` with a new reference: the last step of every
// NonDelegatingQueryInterface. Null `object` → E_POINTER.
extern "C" KCM_BASECLASSES_API HRESULT WINAPI GetInterface(LPUNKNOWN unknown, void** object);

// The delegating IUnknown of a class derived from CUnknown and from interfaces.
#define DECLARE_IUNKNOWN                                                                              \
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override { return GetOwner()->QueryInterface(iid, object); } \
  STDMETHODIMP_(ULONG) AddRef() override { return GetOwner()->AddRef(); }                            \
  STDMETHODIMP_(ULONG) Release() override { return GetOwner()->Release(); }

#include "FilterEnumerator.h"

#include <new>
#include <vector>

#include "FilterGraph.h"
#include "vfwmsgs.h"

namespace kcm::dshow {

namespace {

class FilterEnumerator final : public kcm::com::RefCounted<IEnumFilters> {
 public:
  explicit FilterEnumerator(FilterGraph* graph) : graph_(graph) { resync(); }

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (iid != IID_IUnknown && iid != IID_IEnumFilters) return E_NOINTERFACE;
    return kcm::com::handOut(static_cast<IEnumFilters*>(this), object);
  }

  STDMETHODIMP Next(ULONG count, IBaseFilter** filters, ULONG* fetched) override {
    if (filters == nullptr || (count > 1 && fetched == nullptr)) return E_POINTER;
    if (fetched != nullptr) *fetched = 0;
    std::lock_guard<std::mutex> lock(mutex_);
    if (outOfSync()) return VFW_E_ENUM_OUT_OF_SYNC;
    ULONG handed = 0;
    for (; handed < count && position_ < filters_.size(); ++handed, ++position_) {
      filters[handed] = ComPtr<IBaseFilter>(filters_[position_]).detach();
    }
    if (fetched != nullptr) *fetched = handed;
    return handed == count ? S_OK : S_FALSE;
  }

  STDMETHODIMP Skip(ULONG count) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (outOfSync()) return VFW_E_ENUM_OUT_OF_SYNC;
    const size_t left = filters_.size() - position_;
    position_ += count < left ? count : left;
    return count <= left ? S_OK : S_FALSE;
  }

  STDMETHODIMP Reset() override {
    std::lock_guard<std::mutex> lock(mutex_);
    resync();
    return S_OK;
  }

  STDMETHODIMP Clone(IEnumFilters** enumerator) override {
    if (enumerator == nullptr) return E_POINTER;
    *enumerator = nullptr;
    auto* clone = new (std::nothrow) FilterEnumerator(graph_.get());
    if (clone == nullptr) return E_OUTOFMEMORY;
    std::lock_guard<std::mutex> lock(mutex_);
    clone->filters_ = filters_;
    clone->version_ = version_;
    clone->position_ = position_;
    *enumerator = clone;
    return S_OK;
  }

 private:
  // Called with mutex_ held (or before the enumerator is shared).
  void resync() {
    filters_ = graph_->snapshotFilters(&version_);
    position_ = 0;
  }
  bool outOfSync() const { return graph_->filterSetVersion() != version_; }

  const ComPtr<FilterGraph> graph_;
  std::mutex mutex_;
  // Guarded by mutex_.
  std::vector<ComPtr<IBaseFilter>> filters_;
  unsigned version_ = 0;
  size_t position_ = 0;
};

}  // namespace

IEnumFilters* createFilterEnumerator(FilterGraph* graph) { return new (std::nothrow) FilterEnumerator(graph); }

}  // namespace kcm::dshow

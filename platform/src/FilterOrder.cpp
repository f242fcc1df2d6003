#include "FilterOrder.h"

#include <set>

#include "FilterPins.h"

namespace kcm::dshow {

namespace {

class DownstreamFirstWalk {
 public:
  explicit DownstreamFirstWalk(const std::vector<IBaseFilter*>& filters) : members_(filters.begin(), filters.end()) {}

  // Post-order over downstream connections: a filter is placed after all it feeds.
  void visit(IBaseFilter* filter) {
    if (!visited_.insert(filter).second) return;
    for (const ComPtr<IBaseFilter>& downstream : downstreamOf(filter)) {
      if (members_.count(downstream.get()) != 0) visit(downstream.get());
    }
    order_.push_back(filter);
  }

  std::vector<IBaseFilter*> order() const { return order_; }

 private:
  const std::set<IBaseFilter*> members_;
  std::set<IBaseFilter*> visited_;
  std::vector<IBaseFilter*> order_;
};

}  // namespace

std::vector<IBaseFilter*> orderDownstreamFirst(const std::vector<IBaseFilter*>& filters) {
  DownstreamFirstWalk walk(filters);
  for (IBaseFilter* filter : filters) walk.visit(filter);
  return walk.order();
}

}  // namespace kcm::dshow

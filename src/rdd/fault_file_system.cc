#include "rdd/fault_file_system.h"

#include <algorithm>
#include <cctype>

namespace talvor {

namespace {

bool endsWithIgnoringCase(const std::string& name, const std::string& suffix) {
  if (suffix.size() > name.size()) return false;
  return std::equal(suffix.rbegin(), suffix.rend(), name.rbegin(), [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
  });
}

}  // namespace

// A file of the wrapped file system whose calls pass through the fault list.
class FaultFile final : public File {
 public:
  FaultFile(FaultFileSystem& owner, std::unique_ptr<File> inner, std::string name)
      : owner_(owner), inner_(std::move(inner)), name_(std::move(name)) {}

  int64_t readAt(uint64_t offset, void* buf, std::size_t n) override {
    if (const Fault* f = owner_.strike(FileCall::Read, name_)) {
      if (f->shortBytes < 0) return failWith(f->osCode);
      const std::size_t keep = std::min<std::size_t>(n, static_cast<std::size_t>(f->shortBytes));
      const int64_t got = inner_->readAt(offset, buf, keep);
      setLastError(f->osCode);
      return got;
    }
    return passed(inner_->readAt(offset, buf, n));
  }

  int64_t writeAt(uint64_t offset, const void* buf, std::size_t n) override {
    std::size_t allowed = n;
    int code = 0;
    if (const Fault* f = owner_.strike(FileCall::Write, name_)) {
      if (f->shortBytes < 0) return failWith(f->osCode);
      allowed = std::min<std::size_t>(n, static_cast<std::size_t>(f->shortBytes));
      code = f->osCode;
    }
    if (owner_.limited(name_)) {
      const uint64_t room = offset >= owner_.limit_ ? 0 : owner_.limit_ - offset;
      if (room < allowed) {
        allowed = static_cast<std::size_t>(room);
        code = oserr::DiskFull;
      }
    }
    if (allowed == n) return passed(inner_->writeAt(offset, buf, n));
    if (allowed == 0) return failWith(code);
    const int64_t put = inner_->writeAt(offset, buf, allowed);
    setLastError(code);
    return put;
  }

  bool truncate(uint64_t size) override {
    if (const Fault* f = owner_.strike(FileCall::Truncate, name_)) return failWith(f->osCode) >= 0;
    return passed(inner_->truncate(size));
  }

  int64_t size() override { return passed(inner_->size()); }

  bool lock(const LockRequest& request) override {
    if (const Fault* f = owner_.strike(FileCall::Lock, name_)) return failWith(f->osCode) >= 0;
    return passed(inner_->lock(request));
  }

  bool commit() override {
    if (const Fault* f = owner_.strike(FileCall::Commit, name_)) return failWith(f->osCode) >= 0;
    return passed(inner_->commit());
  }

  bool close() override { return passed(inner_->close()); }

 private:
  int64_t failWith(int code) {
    setLastError(code);
    return -1;
  }
  template <typename T>
  T passed(T result) {
    setLastError(inner_->lastError());
    return result;
  }

  FaultFileSystem& owner_;
  std::unique_ptr<File> inner_;
  std::string name_;
};

void FaultFileSystem::add(const Fault& fault) { faults_.push_back({fault, 0}); }

void FaultFileSystem::limitFileSize(uint64_t bytes, std::string nameSuffix) {
  hasLimit_ = true;
  limit_ = bytes;
  limitSuffix_ = std::move(nameSuffix);
}

void FaultFileSystem::clear() {
  faults_.clear();
  hasLimit_ = false;
}

const Fault* FaultFileSystem::strike(FileCall call, const std::string& name) {
  ++counts_[static_cast<int>(call)];
  for (Armed& a : faults_) {
    if (a.fault.call != call || !endsWithIgnoringCase(name, a.fault.nameSuffix)) continue;
    ++a.seen;
    if (a.seen == a.fault.nth || (a.fault.persistent && a.seen > a.fault.nth)) {
      ++fired_;
      firing_ = a.fault;
      return &firing_;
    }
  }
  return nullptr;
}

bool FaultFileSystem::limited(const std::string& name) const {
  return hasLimit_ && endsWithIgnoringCase(name, limitSuffix_);
}

std::unique_ptr<File> FaultFileSystem::open(const std::string& name, int mode) {
  if (const Fault* f = strike(FileCall::Open, name)) {
    setLastError(f->osCode);
    return nullptr;
  }
  std::unique_ptr<File> inner = base_.open(name, mode);
  setLastError(base_.lastError());
  if (!inner) return nullptr;
  return std::make_unique<FaultFile>(*this, std::move(inner), name);
}

std::unique_ptr<File> FaultFileSystem::create(const std::string& name) {
  if (const Fault* f = strike(FileCall::Create, name)) {
    setLastError(f->osCode);
    return nullptr;
  }
  std::unique_ptr<File> inner = base_.create(name);
  setLastError(base_.lastError());
  if (!inner) return nullptr;
  return std::make_unique<FaultFile>(*this, std::move(inner), name);
}

bool FaultFileSystem::remove(const std::string& name) {
  const bool ok = base_.remove(name);
  setLastError(base_.lastError());
  return ok;
}

bool FaultFileSystem::exists(const std::string& pattern) { return base_.exists(pattern); }

std::string FaultFileSystem::resolve(const std::string& name) { return base_.resolve(name); }

}  // namespace talvor

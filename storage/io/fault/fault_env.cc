// The in-memory, fault-injecting file system for tests.
#include "storage/io/fault/fault_env.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace ck::io {
namespace {

// What a power cut keeps or loses of an unsynced write as a whole: a disk
// sector, which disks write whole or not at all.
constexpr size_t kPieceSize = 512;

}  // namespace

struct FaultEnv::Node {
  std::string durable;
  std::string current;
  // Writes since the last Sync, in order, in pieces: (offset, bytes).
  std::vector<std::pair<uint64_t, std::string>> unsynced;
  // Byte-range locks: (owner file, offset, length, exclusive).
  struct Lock {
    const void* owner;
    uint64_t offset;
    uint64_t length;
    bool exclusive;
  };
  std::vector<Lock> locks;
};

struct FaultEnv::State {
  mutable std::mutex mu;
  std::map<std::string, std::shared_ptr<Node>> files;
  uint64_t counted = 0;
  uint64_t failAt = 0;
  bool cutAtFault = false;
  bool faulted = false;
  bool poweredOff = false;
  size_t cutRead = SIZE_MAX;
  uint64_t diskLimit = 0;
  std::function<bool(uint64_t, size_t)> keep;

  void CutPower() {
    for (auto& [name, node] : files) {
      node->current = node->durable;
      for (const auto& [offset, bytes] : node->unsynced) {
        if (!keep || !keep(offset, bytes.size())) continue;
        if (node->current.size() < offset + bytes.size()) {
          node->current.resize(offset + bytes.size(), '\0');
        }
        node->current.replace(offset, bytes.size(), bytes);
      }
      node->durable = node->current;
      node->unsynced.clear();
      node->locks.clear();
    }
    poweredOff = true;
  }

  // Counts one write or sync; false when it must fail.
  bool CountAndPass() {
    if (poweredOff) return false;
    ++counted;
    if (failAt != 0 && counted == failAt) {
      faulted = true;
      if (cutAtFault) CutPower();
      return false;
    }
    return true;
  }
};

namespace {

class FaultFile final : public File {
 public:
  FaultFile(std::shared_ptr<FaultEnv::State> state, std::shared_ptr<FaultEnv::Node> node,
            bool writable)
      : state_(std::move(state)), node_(std::move(node)), writable_(writable) {}

  ~FaultFile() override {
    std::lock_guard<std::mutex> lock(state_->mu);
    auto& locks = node_->locks;
    locks.erase(std::remove_if(locks.begin(), locks.end(),
                               [this](const auto& l) { return l.owner == this; }),
                locks.end());
  }

  IoStatus ReadAt(uint64_t offset, void* buffer, size_t n, size_t* got) override {
    std::lock_guard<std::mutex> lock(state_->mu);
    const std::string& bytes = node_->current;
    size_t avail = offset >= bytes.size() ? 0 : static_cast<size_t>(bytes.size() - offset);
    size_t count = std::min(n, avail);
    if (state_->cutRead != SIZE_MAX) {
      count = std::min(count, state_->cutRead);
      state_->cutRead = SIZE_MAX;
    }
    if (count > 0) std::memcpy(buffer, bytes.data() + offset, count);
    *got = count;
    return IoStatus::Ok();
  }

  IoStatus WriteAt(uint64_t offset, const void* buffer, size_t n) override {
    std::lock_guard<std::mutex> lock(state_->mu);
    if (!writable_) return IoStatus{5, 5};
    if (!state_->CountAndPass()) return IoStatus{90, 29};
    std::string& bytes = node_->current;
    if (state_->diskLimit != 0 && offset + n > state_->diskLimit) return IoStatus{90, 39};
    if (bytes.size() < offset + n) bytes.resize(offset + n, '\0');
    std::memcpy(bytes.data() + offset, buffer, n);
    // Kept in pieces of one sector: a power cut may keep or lose any sector
    // of a long write.
    const char* from = static_cast<const char*>(buffer);
    for (size_t done = 0; done < n;) {
      const size_t piece = std::min<size_t>(n - done, kPieceSize - (offset + done) % kPieceSize);
      node_->unsynced.emplace_back(offset + done, std::string(from + done, piece));
      done += piece;
    }
    return IoStatus::Ok();
  }

  IoStatus Sync() override {
    std::lock_guard<std::mutex> lock(state_->mu);
    if (!state_->CountAndPass()) return IoStatus{90, 29};
    node_->durable = node_->current;
    node_->unsynced.clear();
    return IoStatus::Ok();
  }

  IoStatus Truncate(uint64_t size) override {
    std::lock_guard<std::mutex> lock(state_->mu);
    if (!writable_) return IoStatus{5, 5};
    if (state_->poweredOff) return IoStatus{90, 29};
    node_->current.resize(size, '\0');
    return IoStatus::Ok();
  }

  IoStatus Size(uint64_t* size) override {
    std::lock_guard<std::mutex> lock(state_->mu);
    *size = node_->current.size();
    return IoStatus::Ok();
  }

  IoStatus TryLock(uint64_t offset, uint64_t length, bool exclusive) override {
    std::lock_guard<std::mutex> lock(state_->mu);
    exclusive = exclusive && writable_;
    for (const auto& l : node_->locks) {
      const bool overlap = l.offset < offset + length && offset < l.offset + l.length;
      if (overlap && l.owner != this && (l.exclusive || exclusive)) return IoStatus{5, 33};
    }
    node_->locks.push_back({this, offset, length, exclusive});
    return IoStatus::Ok();
  }

  IoStatus Unlock(uint64_t offset, uint64_t length) override {
    std::lock_guard<std::mutex> lock(state_->mu);
    auto& locks = node_->locks;
    locks.erase(std::remove_if(locks.begin(), locks.end(),
                               [&](const auto& l) {
                                 return l.owner == this && l.offset == offset &&
                                        l.length == length;
                               }),
                locks.end());
    return IoStatus::Ok();
  }

 private:
  std::shared_ptr<FaultEnv::State> state_;
  std::shared_ptr<FaultEnv::Node> node_;
  bool writable_;
};

}  // namespace

FaultEnv::FaultEnv() : state_(std::make_shared<State>()) {}
FaultEnv::~FaultEnv() = default;

IoStatus FaultEnv::Open(const std::string& path, Access access, Share, bool create,
                        std::unique_ptr<File>* out) {
  std::lock_guard<std::mutex> lock(state_->mu);
  auto it = state_->files.find(path);
  if (it == state_->files.end()) {
    if (!create) return IoStatus{2, 2};
    it = state_->files.emplace(path, std::make_shared<Node>()).first;
  }
  *out = std::make_unique<FaultFile>(state_, it->second, access == Access::ReadWrite);
  return IoStatus::Ok();
}

IoStatus FaultEnv::Remove(const std::string& path) {
  std::lock_guard<std::mutex> lock(state_->mu);
  return state_->files.erase(path) ? IoStatus::Ok() : IoStatus{2, 2};
}

IoStatus FaultEnv::Rename(const std::string& from, const std::string& to) {
  std::lock_guard<std::mutex> lock(state_->mu);
  auto it = state_->files.find(from);
  if (it == state_->files.end()) return IoStatus{2, 2};
  auto node = it->second;
  state_->files.erase(it);
  state_->files[to] = node;
  return IoStatus::Ok();
}

bool FaultEnv::Exists(const std::string& path) {
  std::lock_guard<std::mutex> lock(state_->mu);
  return state_->files.count(path) != 0;
}

bool FaultEnv::IsDirectory(const std::string& path) {
  std::lock_guard<std::mutex> lock(state_->mu);
  const std::string folder = path.empty() || path.back() == '/' ? path : path + "/";
  auto it = state_->files.lower_bound(folder);
  return it != state_->files.end() && it->first.compare(0, folder.size(), folder) == 0;
}

std::string FaultEnv::AbsolutePath(const std::string& path) {
  return path.empty() || path[0] == '/' ? path : "/mem/" + path;
}

void FaultEnv::FailAt(uint64_t n, bool powerCutAtFault) {
  std::lock_guard<std::mutex> lock(state_->mu);
  state_->counted = 0;
  state_->failAt = n;
  state_->cutAtFault = powerCutAtFault;
  state_->faulted = false;
}

uint64_t FaultEnv::operations() const {
  std::lock_guard<std::mutex> lock(state_->mu);
  return state_->counted;
}

bool FaultEnv::faulted() const {
  std::lock_guard<std::mutex> lock(state_->mu);
  return state_->faulted;
}

void FaultEnv::PowerCut() {
  std::lock_guard<std::mutex> lock(state_->mu);
  state_->CutPower();
}

void FaultEnv::SetPowerCutKeeps(std::function<bool(uint64_t, size_t)> keep) {
  std::lock_guard<std::mutex> lock(state_->mu);
  state_->keep = std::move(keep);
}

void FaultEnv::Revive() {
  std::lock_guard<std::mutex> lock(state_->mu);
  state_->poweredOff = false;
  state_->failAt = 0;
  state_->counted = 0;
  state_->faulted = false;
}

void FaultEnv::CutNextRead(size_t n) {
  std::lock_guard<std::mutex> lock(state_->mu);
  state_->cutRead = n;
}

void FaultEnv::SetDiskLimit(uint64_t limit) {
  std::lock_guard<std::mutex> lock(state_->mu);
  state_->diskLimit = limit;
}

std::string FaultEnv::Contents(const std::string& path) const {
  std::lock_guard<std::mutex> lock(state_->mu);
  auto it = state_->files.find(path);
  return it == state_->files.end() ? std::string() : it->second->current;
}

void FaultEnv::SetContents(const std::string& path, const std::string& bytes) {
  std::lock_guard<std::mutex> lock(state_->mu);
  auto& node = state_->files[path];
  if (!node) node = std::make_shared<Node>();
  node->current = bytes;
  node->durable = bytes;
  node->unsynced.clear();
}

}  // namespace ck::io

#include "rdd/dbf_area.h"

#include <algorithm>
#include <cstring>

#include "rdd/area_registry.h"
#include "rdd/file_names.h"
#include "services/conversions.h"
#include "services/dates.h"
#include "services/runtime.h"

namespace talvor {

namespace {

constexpr uint64_t kLockBase12 = 1000000000ull;
constexpr uint64_t kLockBase3 = 0x40000000ull;
constexpr uint64_t kLockBase3Production = 0x7FFFFFFEull;

// A table name looked for in the default folder and then along the search path.
std::string findTableFile(const std::string& name) {
  if (hasFolder(name)) return name;
  const Settings& s = rt().settings;
  std::vector<std::string> folders;
  if (!s.defaultFolder.empty()) folders.push_back(s.defaultFolder);
  std::string path = s.path;
  for (std::size_t start = 0; start <= path.size();) {
    const std::size_t end = path.find_first_of(";,", start);
    const std::string folder = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!folder.empty()) folders.push_back(folder);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  for (std::string folder : folders) {
    if (folder.back() != '/' && folder.back() != '\\') folder += '/';
    if (fileSystem().exists(folder + name)) return folder + name;
  }
  return name;
}

}  // namespace

DbfArea::DbfArea(std::string driverName) : WorkArea(std::move(driverName)) {}

DbfArea::~DbfArea() {
  if (data_) {
    data_->close();
    data_.reset();
  }
}

// ---- files -------------------------------------------------------------------

std::unique_ptr<File> DbfArea::openWithRetry(const std::string& name, int mode, int subCode) {
  for (;;) {
    std::unique_ptr<File> f = fileSystem().open(name, mode);
    if (f) return f;
    int os = fileSystem().lastError();
    if (os == 0) return nullptr;
    if (os == 13) os = 32;
    RuntimeError e = makeError(driverName(), genericCodeForSubcode(subCode), subCode);
    e.fileName = name;
    e.osCode = os;
    e.canRetry = true;
    e.canDefault = true;
    if (raiseError(e).action != Answer::Retry) return nullptr;
  }
}

bool DbfArea::openTable(const OpenRequest& request) {
  AreaRegistry& registry = areas();
  if (!registry.bindAlias(request.alias, areaNumber())) {
    RuntimeError e = makeError(driverName(), gen::DupAlias, 1011, request.alias);
    raiseError(e);
    return false;
  }
  setAlias(AreaRegistry::normalizeAlias(request.alias));
  lockScheme_ = rt().settings.lockScheme == 0 ? 1 : rt().settings.lockScheme;
  shared_ = request.shared && rt().settings.sharingOverride != 2;
  readOnly_ = request.readOnly;
  const int mode = (readOnly_ ? fmode::Read : fmode::ReadWrite) | (shared_ ? fmode::ShareDenyNone : fmode::ShareExclusive);
  const std::string name = findTableFile(request.fileName);
  data_ = openWithRetry(name, mode, 1001);
  if (!data_) {
    registry.unbindAlias(alias());
    setAlias("");
    return false;
  }
  dataName_ = fileSystem().resolve(name);
  if (!readHeader()) {
    closeTable();
    return false;
  }
  if (hasMemo_) {
    memoName_ = withoutExtension(dataName_) + ".dbt";
    if (!openMemoFile()) {
      closeTable();
      return false;
    }
  }
  buffer_.assign(recordLength_, ' ');
  store_.attach(data_.get(), header_.headerLength, recordLength_, !shared_);
  recountFromFile();
  ++serial_;
  return goFirst();
}

bool DbfArea::readHeader() {
  uint8_t bytes[dbf::kHeaderSize];
  for (;;) {
    const int64_t got = data_->readAt(0, bytes, sizeof bytes);
    if (got == static_cast<int64_t>(sizeof bytes) && dbf::acceptedVersion(bytes[0])) break;
    if (raiseError(1012, dataName_, 0, true, true).action != Answer::Retry) return false;
  }
  header_ = dbf::decodeHeader(bytes);
  hasMemo_ = dbf::headerHasMemo(header_);
  const std::size_t descriptorBytes =
      header_.headerLength > dbf::kHeaderSize ? header_.headerLength - dbf::kHeaderSize : 0;
  const int64_t fileSize = data_->size();
  std::vector<uint8_t> area;
  for (;;) {
    if (fileSize >= 0 && static_cast<uint64_t>(fileSize) >= dbf::kHeaderSize + descriptorBytes) {
      area.resize(descriptorBytes / dbf::kDescriptorSize * dbf::kDescriptorSize);
      if (data_->readAt(dbf::kHeaderSize, area.data(), area.size()) == static_cast<int64_t>(area.size())) break;
    }
    if (raiseError(1012, dataName_, 0, true, true).action != Answer::Retry) return false;
  }
  std::string problem;
  blank_.clear();
  if (!dbf::decodeDescriptors(area.data(), area.size(), header_.version, fields_, problem)) {
    raiseError(1012, dataName_);
    return false;
  }
  for (const auto& f : fields_)
    if (f.kind == dbf::FieldKind::Memo) hasMemo_ = true;
  const uint64_t length = dbf::layoutFields(fields_);
  if (length > 65535 || header_.headerLength < dbf::kHeaderSize) {
    raiseError(1012, dataName_);
    return false;
  }
  recordLength_ = static_cast<uint32_t>(length);
  return true;
}

bool DbfArea::recountFromFile() {
  if (!data_) return false;
  store_.flush();
  const int64_t size = data_->size();
  if (size < 0) return false;
  const uint64_t body = static_cast<uint64_t>(size) > header_.headerLength ? size - header_.headerLength : 0;
  recordCount_ = recordLength_ ? static_cast<uint32_t>(body / recordLength_) : 0;
  return true;
}

bool DbfArea::writeHeaderBytes() {
  if (!shared_) {
    if (!store_.flush()) {
      failWrite(store_.lastError());
      return false;
    }
    const uint64_t end = header_.headerLength + uint64_t(recordCount_) * recordLength_;
    const uint8_t mark = dbf::kEofMark;
    if (data_->writeAt(end, &mark, 1) != 1 || !data_->truncate(end + 1)) {
      failWrite(data_->lastError());
      return false;
    }
    store_.dropReadAhead();
  }
  if (!writeHeaderCounting(recordCount_)) {
    raiseError(1011, dataName_, data_->lastError());
    return false;
  }
  headerDirty_ = false;
  return true;
}

bool DbfArea::writeHeaderCounting(uint32_t count) {
  dbf::today(header_.year, header_.month, header_.day);
  header_.recordCount = count;
  header_.recordLength = static_cast<uint16_t>(recordLength_);
  uint8_t bytes[dbf::kHeaderSize];
  dbf::encodeHeader(header_, bytes);
  if (data_->writeAt(0, bytes, sizeof bytes) != static_cast<int64_t>(sizeof bytes)) return false;
  dataWritten_ = true;
  return true;
}

void DbfArea::failWrite(int osCode) {
  if (!shared_) describeRecordsOnDisk();
  raiseError(1011, dataName_, osCode);
}

void DbfArea::describeRecordsOnDisk() {
  store_.dropReadAhead();
  const int64_t size = data_->size();
  if (size < 0 || static_cast<uint64_t>(size) < header_.headerLength) return;
  const uint64_t onDisk = (static_cast<uint64_t>(size) - header_.headerLength) / recordLength_;
  const uint32_t whole = static_cast<uint32_t>(std::min<uint64_t>(onDisk, recordCount_));
  const uint64_t end = header_.headerLength + uint64_t(whole) * recordLength_;
  if (!data_->truncate(end)) return;
  const uint8_t mark = dbf::kEofMark;
  data_->writeAt(end, &mark, 1);  // may not fit on a full disk; the count stands without it
  writeHeaderCounting(whole);
}

bool DbfArea::flushData() {
  if (headerDirty_) return writeHeader();
  if (store_.flush()) return true;
  failWrite(store_.lastError());
  return false;
}

bool DbfArea::writeHeader() {
  if (!data_) return false;
  if (!shared_) return writeHeaderBytes();
  const bool took = !headerLocked_;
  if (took && !lockRegion(LockAction::HeaderLock, 0)) return false;
  recountFromFile();
  const bool ok = writeHeaderBytes();
  if (took) lockRegion(LockAction::HeaderUnlock, 0);
  return ok;
}

bool DbfArea::createTable(const std::string& fileName, const std::vector<dbf::FieldDef>& fields) {
  fields_ = fields;
  blank_.clear();
  const uint64_t length = dbf::layoutFields(fields_);
  const uint64_t headerLength = dbf::kHeaderSize + dbf::kDescriptorSize * fields_.size() + 2;
  if (length > 65535 || headerLength > 65535) {
    RuntimeError e = makeError(driverName(), gen::Create, 1004);
    e.fileName = fileName;
    e.description = std::string(genericText(gen::Create)) + " (record or header longer than 65535 bytes)";
    raiseError(e);
    return false;
  }
  hasMemo_ = false;
  for (const auto& f : fields_)
    if (f.kind == dbf::FieldKind::Memo) hasMemo_ = true;
  std::string name = fileName;
  if (!hasFolder(name) && !rt().settings.defaultFolder.empty()) name = rt().settings.defaultFolder + "/" + name;
  for (;;) {
    data_ = fileSystem().create(name);
    if (data_) break;
    RuntimeError e = makeError(driverName(), gen::Create, 1004);
    e.fileName = name;
    e.osCode = fileSystem().lastError();
    e.canRetry = e.canDefault = true;
    if (raiseError(e).action != Answer::Retry) return false;
  }
  dataName_ = name;
  header_ = dbf::Header{};
  header_.version = dbf::kVersionPlain;
  header_.headerLength = static_cast<uint16_t>(headerLength);
  header_.recordLength = static_cast<uint16_t>(length);
  recordLength_ = static_cast<uint32_t>(length);
  recordCount_ = 0;
  if (hasMemo_) {
    header_.version = dbf::kVersionMemo;
    memoName_ = withoutExtension(name) + ".dbt";
  }
  dbf::today(header_.year, header_.month, header_.day);
  const std::vector<uint8_t> image = dbf::newTableImage(header_, fields_);
  if (data_->writeAt(0, image.data(), image.size()) != static_cast<int64_t>(image.size())) {
    raiseError(1011, name, data_->lastError());
    return false;
  }
  dataWritten_ = true;
  if (hasMemo_ && !createMemoFile()) return false;
  return true;
}

bool DbfArea::closeMemoFile() {
  if (memo_) memo_->close();
  memo_.reset();
  return true;
}

// A commit that the operating system refuses means the written bytes may not
// be on disk: it raises "Write error" with the file's name and OS code rather
// than passing for a success.
bool DbfArea::commitMemoFile() {
  if (memo_ && memoWritten_ && rt().settings.hardCommit && !memo_->commit())
    raiseError(1011, memoName_, memo_->lastError());
  memoWritten_ = false;
  return true;
}

bool DbfArea::commitFiles() {
  if (rt().settings.hardCommit && dataWritten_ && !data_->commit()) raiseError(1011, dataName_, data_->lastError());
  dataWritten_ = false;
  return commitMemoFile();
}

bool DbfArea::flushArea() {
  if (!data_) return true;
  const bool ok = writeBack();
  flushData();
  commitFiles();
  return ok;
}

bool DbfArea::closeTable() {
  setFilter(Value());
  if (!alias().empty()) {
    areas().unbindAlias(alias());
    setAlias("");
  }
  if (data_) {
    writeBack();
    releaseLocks(0);
    flushData();
    commitFiles();
    store_.detach();
    data_->close();
    data_.reset();
  }
  closeMemoFile();
  buffer_.clear();
  fields_.clear();
  blank_.clear();
  lockList_.clear();
  fileLocked_ = headerLocked_ = false;
  recordChanged_ = appended_ = false;
  return true;
}

bool DbfArea::createMemoFile() { return false; }
bool DbfArea::openMemoFile() { return false; }

bool DbfArea::tableInfo(TableInfoItem item, Value& out, const Value* newValue) {
  switch (item) {
    case TableInfoItem::TableExtension: out = Value::text(".dbf"); return true;
    case TableInfoItem::MemoExtension: out = Value::text(""); return true;
    case TableInfoItem::HeaderLength: out = Value::integer(header_.headerLength); return true;
    case TableInfoItem::RecordLength: out = Value::integer(recordLength_); return true;
    case TableInfoItem::LastUpdate:
      out = Value::date(dayFromYmd(header_.year + 1900, header_.month, header_.day));
      return true;
    case TableInfoItem::LockList: {
      ValueArray list;
      for (uint32_t r : lockList_) list.push_back(Value::integer(r));
      out = Value::array(std::move(list));
      return true;
    }
    case TableInfoItem::FullName: out = Value::text(dataName_); return true;
    case TableInfoItem::FileLocked: out = Value::logical(fileLocked_); return true;
    case TableInfoItem::DataHandle: out = Value::integer(data_ ? 1 : 0); return true;
    case TableInfoItem::MemoHandle: out = Value::integer(memo_ ? 1 : 0); return true;
    case TableInfoItem::MemoBlockSize: out = Value::integer(512); return true;
    case TableInfoItem::Shared:
      out = Value::logical(shared_);
      if (newValue && newValue->isLogical()) {
        shared_ = newValue->asLogical();
        store_.setBuffered(!shared_);
      }
      return true;
    case TableInfoItem::ReadOnly: out = Value::logical(readOnly_); return true;
    case TableInfoItem::LockScheme:
      out = Value::integer(lockScheme_);
      if (newValue && newValue->isNumber()) {
        const int s = static_cast<int>(newValue->asDouble());
        if (s >= 1 && s <= 3) lockScheme_ = s;
      }
      return true;
    case TableInfoItem::DiscardChanges:
      if (recordChanged_) {
        if (appended_) {
          makeBlankBuffer();
        } else {
          bufferValid_ = false;
          recordChanged_ = false;
        }
      }
      out = Value::logical(true);
      return true;
  }
  return false;
}

// ---- records ------------------------------------------------------------------

void DbfArea::makeBlankBuffer() {
  if (blank_.size() != recordLength_) {
    blank_.assign(recordLength_, ' ');
    dbf::blankRecord(fields_, blank_.data(), recordLength_);
  }
  buffer_ = blank_;
}

const uint8_t* DbfArea::recordBuffer() {
  loadRecord();
  return buffer_.data();
}

bool DbfArea::loadRecord() {
  if (bufferValid_) return true;
  if (eof_) {
    bufferValid_ = true;
    return true;
  }
  if (recno_ > recordCount_ && shared_) recountFromFile();
  if (recno_ > recordCount_ || recno_ == 0) {
    makeBlankBuffer();
    bufferValid_ = true;
    eof_ = true;
    return true;
  }
  if (!store_.read(recno_, buffer_.data())) {
    raiseError(1010, dataName_, store_.lastError());
    return false;
  }
  bufferValid_ = true;
  positioned_ = true;
  deleted_ = buffer_[0] == '*';
  return true;
}

bool DbfArea::writeRecord() {
  if (!store_.write(recno_, buffer_.data())) {
    failWrite(store_.lastError());
    return false;
  }
  dataWritten_ = true;
  return true;
}

bool DbfArea::goToRecord(uint32_t n) {
  if (!writeBack()) return false;
  if (n > recordCount_ && shared_) recountFromFile();
  if (n >= 1 && n <= recordCount_) {
    recno_ = n;
    bufferValid_ = false;
    bof_ = eof_ = false;
    positioned_ = true;
  } else {
    recno_ = recordCount_ + 1;
    makeBlankBuffer();
    bufferValid_ = true;
    bof_ = eof_ = true;
    deleted_ = false;
    positioned_ = false;
  }
  found_ = false;
  return true;
}

bool DbfArea::goFirst() {
  top_ = true;
  bottom_ = false;
  if (!goToRecord(1)) return false;
  return passHidden(1);
}

bool DbfArea::goLast() {
  if (!writeBack()) return false;
  if (shared_) recountFromFile();
  top_ = false;
  bottom_ = true;
  if (!goToRecord(recordCount_)) return false;
  return passHidden(-1);
}

bool DbfArea::stepRaw(int64_t n) {
  if (n == 0) {
    const bool b = bof_, e = eof_;
    const bool ok = goToRecord(recno_);
    bof_ = b;
    eof_ = e;
    return ok;
  }
  const int64_t target = static_cast<int64_t>(recno_) + n;
  return goToRecord(target < 0 ? 0 : static_cast<uint32_t>(std::min<int64_t>(target, UINT32_MAX)));
}

bool DbfArea::appendBlank(bool unlockOthers) {
  if (readOnly_) {
    raiseError(1025, dataName_);
    return false;
  }
  if (!writeBack()) return false;
  if (shared_) {
    lockRegion(LockAction::AppendLock, 0);
    recountFromFile();
    const uint32_t n = recordCount_ + 1;
    bool locked = fileLocked_ || std::find(lockList_.begin(), lockList_.end(), n) != lockList_.end();
    if (!locked) {
      if (unlockOthers) releaseAll();
      if (lockRegion(LockAction::RecordLock, n)) {
        lockList_.push_back(n);
        locked = true;
      }
    }
    if (!locked) {
      lockRegion(LockAction::AppendUnlock, 0);
      RuntimeError e = makeError(driverName(), gen::AppendLock, 1024);
      e.fileName = dataName_;
      e.canDefault = true;
      raiseError(e);
      return false;
    }
  }
  makeBlankBuffer();
  bufferValid_ = positioned_ = appended_ = recordChanged_ = headerDirty_ = true;
  ++recordCount_;
  recno_ = recordCount_;
  found_ = eof_ = bof_ = deleted_ = false;
  if (shared_) {
    const bool ok = writeBack();
    lockRegion(LockAction::AppendUnlock, 0);
    return ok;
  }
  return true;
}

bool DbfArea::beginChange() {
  if (readOnly_) {
    raiseError(1025, dataName_);
    return false;
  }
  if (shared_ && !fileLocked_ && std::find(lockList_.begin(), lockList_.end(), recno_) == lockList_.end()) {
    raiseError(1022, dataName_);
    return false;
  }
  recordChanged_ = true;
  return true;
}

bool DbfArea::writeBack() {
  if (!recordChanged_) return true;
  if (!writeRecord()) return false;
  recordChanged_ = false;
  if (appended_) {
    headerDirty_ = true;
    appended_ = false;
  }
  if (shared_ && headerDirty_) return writeHeader();
  return true;
}

bool DbfArea::markDeleted() {
  if (!loadRecord()) return false;
  if (eof_) return true;
  if (!recordChanged_ && !beginChange()) return false;
  buffer_[0] = '*';
  deleted_ = true;
  return true;
}

bool DbfArea::unmarkDeleted() {
  if (!loadRecord()) return false;
  if (eof_) return true;
  if (!recordChanged_ && !beginChange()) return false;
  buffer_[0] = ' ';
  deleted_ = false;
  return true;
}

bool DbfArea::readDeleted(bool& deleted) {
  if (!loadRecord()) return false;
  deleted = eof_ ? false : deleted_;
  return true;
}

bool DbfArea::readField(int n, Value& out) {
  if (n < 1 || n > countFields()) return false;
  const dbf::FieldDef* f = &fields_[static_cast<std::size_t>(n - 1)];  // field(n), without the call on the hot path
  if (!loadRecord()) return false;
  if (f->kind == dbf::FieldKind::Memo) {
    raiseError(1020, dataName_);
    return false;
  }
  if (eof_) {
    out = dbf::blankValue(*f);
    return true;
  }
  out = dbf::decodeField(*f, buffer_.data() + f->offset);
  return true;
}

bool DbfArea::writeField(int n, const Value& v) {
  if (n < 1 || n > countFields()) return false;
  const dbf::FieldDef* f = &fields_[static_cast<std::size_t>(n - 1)];  // field(n), without the call on the hot path
  if (!loadRecord()) return false;
  if (eof_) return true;
  if (!recordChanged_ && !beginChange()) return false;
  switch (dbf::encodeField(*f, v, buffer_.data() + f->offset)) {
    case dbf::EncodeResult::Ok:
      buffer_[0] = deleted_ ? '*' : ' ';
      return true;
    case dbf::EncodeResult::WrongKind: {
      RuntimeError e = makeError(driverName(), gen::DataType, 1020);
      e.operation = f->name;
      e.canDefault = true;
      raiseError(e);
      return true;
    }
    case dbf::EncodeResult::TooWide: {
      RuntimeError e = makeError(driverName(), gen::DataWidth, 1021);
      e.operation = f->name;
      e.canDefault = true;
      raiseError(e);
      return true;
    }
  }
  return true;
}

const uint8_t* DbfArea::fieldBytes(int n) {
  if (!loadRecord()) return nullptr;
  return buffer_.data() + fields_[static_cast<std::size_t>(n - 1)].offset;
}

uint8_t* DbfArea::fieldBytesForChange(int n) {
  const dbf::FieldDef& f = fields_[static_cast<std::size_t>(n - 1)];
  if (!loadRecord() || eof_) return nullptr;
  if (!recordChanged_ && !beginChange()) return nullptr;
  buffer_[0] = deleted_ ? '*' : ' ';
  return buffer_.data() + f.offset;
}

bool DbfArea::storeText(int n, std::string_view text) {
  const dbf::FieldDef& f = fields_[static_cast<std::size_t>(n - 1)];
  if (f.kind != dbf::FieldKind::Character) return false;
  if (uint8_t* p = fieldBytesForChange(n)) {
    const std::size_t length = std::min<std::size_t>(text.size(), f.length);
    if (length > 0) std::memcpy(p, text.data(), length);  // an empty text may have no data
    std::memset(p + length, ' ', f.length - length);
  }
  return true;
}

bool DbfArea::storeNumber(int n, const Number& number) {
  const dbf::FieldDef& f = fields_[static_cast<std::size_t>(n - 1)];
  char digits[64];
  if (f.kind != dbf::FieldKind::Numeric || f.length == 0 || f.length > sizeof digits) return false;
  formatNumberInto(number, static_cast<int>(f.length), f.decimals, digits);
  if (std::memchr(digits, '*', f.length)) return false;
  if (uint8_t* p = fieldBytesForChange(n)) std::memcpy(p, digits, f.length);
  return true;
}

bool DbfArea::storeDay(int n, int64_t day) {
  const dbf::FieldDef& f = fields_[static_cast<std::size_t>(n - 1)];
  if (f.kind != dbf::FieldKind::Date || f.length != 8) return false;
  const std::string digits = dayToDigits(day);
  if (uint8_t* p = fieldBytesForChange(n)) std::memcpy(p, digits.data(), 8);
  return true;
}

bool DbfArea::storeLogical(int n, bool value) {
  const dbf::FieldDef& f = fields_[static_cast<std::size_t>(n - 1)];
  if (f.kind != dbf::FieldKind::Logical || f.length == 0) return false;
  if (uint8_t* p = fieldBytesForChange(n)) p[0] = value ? 'T' : 'F';
  return true;
}

uint32_t DbfArea::countRecords() {
  if (shared_) recountFromFile();
  return recordCount_;
}

// ---- locks ----------------------------------------------------------------------

uint64_t DbfArea::recordLockOffset(uint32_t n) const {
  if (lockScheme_ == 3)
    return header_.productionIndex ? kLockBase3Production - n
                                   : kLockBase3 + header_.headerLength + uint64_t(n - 1) * recordLength_;
  return kLockBase12 + n;
}

bool DbfArea::lockBytes(uint64_t offset, uint64_t length, bool unlock, bool wait) {
  LockRequest r;
  r.offset = offset;
  r.length = length;
  r.unlock = unlock;
  r.wait = wait;
  return data_ && data_->lock(r);
}

bool DbfArea::lockRegion(LockAction action, uint32_t n) {
  if (!shared_) return true;
  if (lockScheme_ < 1 || lockScheme_ > 3) return false;
  const bool production = lockScheme_ == 3 && header_.productionIndex;
  const uint64_t base = lockScheme_ == 3 ? (production ? kLockBase3Production : kLockBase3) : kLockBase12;
  const uint64_t fileStart = production ? base - 0x7FFFFFF : base + 1;
  const uint64_t fileLength = lockScheme_ == 3 ? (production ? 0x7FFFFFF : 0x3FFFFFFD) : 1000000000ull;
  switch (action) {
    case LockAction::FileLock:
      if (fileLocked_) return true;
      if (!lockBytes(fileStart, fileLength, false, false)) return false;
      fileLocked_ = true;
      return true;
    case LockAction::FileUnlock:
      if (!fileLocked_) return true;
      fileLocked_ = false;
      return lockBytes(fileStart, fileLength, true, false);
    case LockAction::RecordLock:
      if (fileLocked_) return true;
      return lockBytes(recordLockOffset(n), 1, false, false);
    case LockAction::RecordUnlock:
      if (fileLocked_) return true;
      return lockBytes(recordLockOffset(n), 1, true, false);
    case LockAction::HeaderLock:
    case LockAction::AppendLock:
      if (headerLocked_) return true;
      while (!lockBytes(base, 1, false, true)) {
      }
      headerLocked_ = true;
      return true;
    case LockAction::HeaderUnlock:
    case LockAction::AppendUnlock:
      if (!headerLocked_) return true;
      headerLocked_ = false;
      return lockBytes(base, 1, true, false);
  }
  return false;
}

void DbfArea::refreshAfterLock() {
  if (eof_) {
    goToRecord(recno_);
  } else if (!recordChanged_) {
    bufferValid_ = false;
  }
}

bool DbfArea::releaseAll() {
  if (lockList_.empty()) return true;
  const bool ok = writeBack();
  for (uint32_t r : lockList_) lockRegion(LockAction::RecordUnlock, r);
  lockList_.clear();
  return ok;
}

bool DbfArea::releaseRecord(uint32_t n) {
  auto it = std::find(lockList_.begin(), lockList_.end(), n);
  if (it == lockList_.end()) return true;
  const bool ok = writeBack();
  lockRegion(LockAction::RecordUnlock, n);
  lockList_.erase(it);
  return ok;
}

bool DbfArea::lockRecord(uint32_t n, bool unlockOthers, bool& locked) {
  locked = false;
  if (fileLocked_) {
    locked = true;
    return true;
  }
  if (unlockOthers) releaseAll();
  if (std::find(lockList_.begin(), lockList_.end(), n) != lockList_.end()) {
    locked = true;
    return true;
  }
  if (!lockRegion(LockAction::RecordLock, n)) return true;
  lockList_.push_back(n);
  locked = true;
  if (n == recno_) refreshAfterLock();
  return true;
}

bool DbfArea::requestLock(int method, uint32_t n, bool& locked) {
  locked = false;
  if (!shared_) {
    locked = method >= 1 && method <= 3;
    return locked;
  }
  switch (method) {
    case 1: return lockRecord(recno_, true, locked);
    case 2: return n >= 1 && lockRecord(n, false, locked);
    case 3:
      if (!fileLocked_) {
        releaseAll();
        lockRegion(LockAction::FileLock, 0);
        refreshAfterLock();
      }
      locked = fileLocked_;
      return true;
    default: return false;
  }
}

bool DbfArea::releaseLocks(uint32_t n) {
  if (!shared_) return true;
  bool ok = true;
  if (!lockList_.empty()) ok = n == 0 ? releaseAll() : releaseRecord(n);
  if (fileLocked_) {
    ok = writeBack() && ok;
    lockRegion(LockAction::FileUnlock, 0);
  }
  return ok;
}

}  // namespace talvor

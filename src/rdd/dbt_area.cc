#include "rdd/dbt_area.h"

#include "rdd/memo_file.h"

namespace talvor {

DbtArea::DbtArea(std::string driverName) : DbfArea(std::move(driverName)) {}

const dbf::FieldDef* DbtArea::memoField(int n) const {
  const dbf::FieldDef* f = field(n);
  return f && f->kind == dbf::FieldKind::Memo && hasMemo_ && memo_ ? f : nullptr;
}

bool DbtArea::readMemo(const dbf::FieldDef& f, std::string* text, uint64_t& length) {
  length = 0;
  if (text) text->clear();
  if (!loadRecord()) return false;
  if (eof_) return true;
  const uint64_t block = dbt::decodeReference(buffer_.data() + f.offset, f.length);
  if (block == 0) return true;
  dbt::MemoFile memo(*memo_);
  if (!memo.lockShared()) {
    raiseError(1010, memoName_, memo_->lastError());
    return false;
  }
  const bool ok = text ? memo.readText(block, *text) : memo.textLength(block, length);
  if (text) length = text->size();
  memo.unlock();
  if (!ok) raiseError(1010, memoName_, memo_->lastError());
  return ok;
}

bool DbtArea::readField(int n, Value& out) {
  const dbf::FieldDef* f = memoField(n);
  if (!f) return DbfArea::readField(n, out);
  std::string text;
  uint64_t length = 0;
  if (!readMemo(*f, &text, length)) return false;
  out = Value::text(std::move(text));
  return true;
}

bool DbtArea::fieldLength(int n, uint64_t& length) {
  const dbf::FieldDef* f = memoField(n);
  if (f) return readMemo(*f, nullptr, length);
  const dbf::FieldDef* plain = field(n);
  if (!plain) return false;
  length = plain->length;
  return true;
}

bool DbtArea::writeField(int n, const Value& v) {
  const dbf::FieldDef* f = memoField(n);
  if (!f) return DbfArea::writeField(n, v);
  if (!v.isText()) {
    RuntimeError e = makeError(driverName(), gen::DataType, 1020);
    e.operation = f->name;
    e.canDefault = true;
    raiseError(e);
    return false;
  }
  if (!loadRecord()) return false;
  if (eof_) return true;
  if (!recordChanged_ && !beginChange()) return false;
  dbt::MemoFile memo(*memo_);
  if (!memo.lockExclusive()) {
    raiseError(1011, memoName_, memo_->lastError());
    return false;
  }
  uint8_t* reference = buffer_.data() + f->offset;
  uint64_t block = 0;
  const std::string& text = v.asText();
  if (!text.empty()) {
    const uint64_t old = dbt::decodeReference(reference, f->length);
    const bool written = memo.writeText(old, text, block);
    memoWritten_ = true;
    if (!written || (f->length == 4 && block > 0xFFFFFFFFull)) {
      memo.unlock();
      raiseError(1011, memoName_, memo_->lastError());
      return false;
    }
  }
  dbt::encodeReference(block, reference, f->length);
  memo.unlock();
  buffer_[0] = deleted_ ? '*' : ' ';
  return true;
}

bool DbtArea::tableInfo(TableInfoItem item, Value& out, const Value* newValue) {
  if (item == TableInfoItem::MemoExtension) {
    out = Value::text(".dbt");
    return true;
  }
  return DbfArea::tableInfo(item, out, newValue);
}

bool DbtArea::createMemoFile() {
  if (!memo_) {
    for (;;) {
      memo_ = fileSystem().create(memoName_);
      if (memo_) break;
      RuntimeError e = makeError(driverName(), gen::Create, 1004);
      e.fileName = memoName_;
      e.osCode = fileSystem().lastError();
      e.canRetry = true;
      if (raiseError(e).action != Answer::Retry) return false;
    }
  }
  memoWritten_ = true;
  if (!dbt::MemoFile(*memo_).initialise()) {
    raiseError(1011, memoName_, memo_->lastError());
    return false;
  }
  return true;
}

bool DbtArea::openMemoFile() {
  const int mode = (readOnly_ ? fmode::Read : fmode::ReadWrite) | (shared_ ? fmode::ShareDenyNone : fmode::ShareExclusive);
  memo_ = openWithRetry(memoName_, mode, 1001);
  if (!memo_) return false;
  memoName_ = fileSystem().resolve(memoName_);
  return true;
}

bool DbtArea::writeHeader() {
  if (hasMemo_ && header_.version != 0x30) header_.version = dbf::kVersionMemo;
  return DbfArea::writeHeader();
}

}  // namespace talvor

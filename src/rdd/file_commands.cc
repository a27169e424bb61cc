#include "rdd/file_commands.h"

#include <map>
#include <memory>
#include <vector>

#include "services/runtime.h"

namespace talvor {

namespace {

struct HandleTable {
  std::map<int, std::unique_ptr<File>> files;
  int next = 5;  // small numbers, as the operating system gives them
  int lastError = 0;
};

HandleTable& handles() { return rt().component<HandleTable>(); }

int number(const Value& v, int fallback) { return v.isNumber() ? static_cast<int>(v.asDouble()) : fallback; }

int fileError() {
  const int e = fileSystem().lastError();
  return e == oserr::FileExists ? oserr::AccessDenied : e;
}

Value registerFile(std::unique_ptr<File> f) {
  HandleTable& t = handles();
  if (!f) {
    t.lastError = fileError();
    return Value::integer(-1);
  }
  t.lastError = 0;
  const int h = t.next++;
  t.files[h] = std::move(f);
  return Value::integer(h);
}

}  // namespace

File* fileOfHandle(int handle) {
  auto& files = handles().files;
  auto it = files.find(handle);
  return it == files.end() ? nullptr : it->second.get();
}

Value FOPEN(const Value& name, const Value& mode) {
  if (!name.isText()) {
    raise(makeError("BASE", gen::ArgumentError, 2021, "FOPEN"));
    return Value::integer(-1);
  }
  return registerFile(fileSystem().open(name.asText(), number(mode, 0)));
}

Value FCREATE(const Value& name) {
  if (!name.isText()) {
    raise(makeError("BASE", gen::ArgumentError, 2022, "FCREATE"));
    return Value::integer(-1);
  }
  return registerFile(fileSystem().create(name.asText()));
}

Value FCLOSE(const Value& handle) {
  HandleTable& t = handles();
  auto it = t.files.find(number(handle, -1));
  if (it == t.files.end()) {
    t.lastError = oserr::InvalidHandle;
    return Value::logical(false);
  }
  const bool ok = it->second->close();
  t.files.erase(it);
  t.lastError = ok ? 0 : fileSystem().lastError();
  return Value::logical(ok);
}

Value FREADSTR(const Value& handle, const Value& count) {
  HandleTable& t = handles();
  if (!handle.isNumber() || !count.isNumber()) return Value::text("");
  File* f = fileOfHandle(number(handle, -1));
  const int64_t n = static_cast<int64_t>(count.asDouble());
  if (!f || n <= 0) {
    t.lastError = f ? 0 : oserr::InvalidHandle;
    return Value::text("");
  }
  std::string buf(static_cast<std::size_t>(std::min<int64_t>(n, int64_t(1) << 30)), '\0');
  const int64_t got = f->read(buf.data(), buf.size());
  t.lastError = got < 0 ? f->lastError() : 0;
  buf.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  const std::size_t nul = buf.find('\0');
  if (nul != std::string::npos) buf.resize(nul);
  return Value::text(std::move(buf));
}

Value FWRITE(const Value& handle, const Value& text) {
  HandleTable& t = handles();
  File* f = fileOfHandle(number(handle, -1));
  if (!f || !text.isText()) {
    t.lastError = oserr::InvalidHandle;
    return Value::integer(0);
  }
  const int64_t put = f->write(text.asText().data(), text.asText().size());
  t.lastError = put < 0 ? f->lastError() : 0;
  return Value::integer(put > 0 ? put : 0);
}

Value FSEEK(const Value& handle, const Value& offset, const Value& origin) {
  HandleTable& t = handles();
  if (!handle.isNumber() || !offset.isNumber()) return Value::integer(0);
  File* f = fileOfHandle(number(handle, -1));
  if (!f) {
    t.lastError = oserr::InvalidHandle;
    return Value::integer(0);
  }
  const int64_t delta = static_cast<int64_t>(offset.asDouble());
  int64_t base = 0;
  switch (number(origin, 0)) {
    case 1: base = static_cast<int64_t>(f->position()); break;
    case 2: base = f->size(); break;
    default: base = 0; break;
  }
  const int64_t target = base + delta;
  if (target < 0) {
    t.lastError = oserr::NegativeSeek;
    return Value::integer(static_cast<int64_t>(f->position()));
  }
  f->setPosition(static_cast<uint64_t>(target));
  t.lastError = 0;
  return Value::integer(target);
}

Value FERASE(const Value& name) {
  HandleTable& t = handles();
  if (!name.isText()) return Value::integer(-1);
  const bool ok = fileSystem().remove(name.asText());
  t.lastError = ok ? 0 : fileError();
  return Value::integer(ok ? 0 : -1);
}

Value FERROR() { return Value::integer(handles().lastError); }

Value FILE(const Value& pattern) {
  if (!pattern.isText() || pattern.asText().size() >= 255) return Value::logical(false);
  const std::string& name = pattern.asText();
  if (fileSystem().exists(name)) return Value::logical(true);
  const Settings& s = rt().settings;
  if (name.find_first_of("/\\") == std::string::npos && !s.defaultFolder.empty())
    return Value::logical(fileSystem().exists(s.defaultFolder + "/" + name));
  return Value::logical(false);
}

Value __COPYFILE(const Value& source, const Value& target) {
  if (!source.isText() || !target.isText()) {
    raise(makeError("BASE", gen::ArgumentError, 2010, "__COPYFILE"));
    return Value::logical(false);
  }
  auto failure = [](int genCode, int subCode, const std::string& file) {
    RuntimeError e = makeError("BASE", genCode, subCode);
    e.fileName = file;
    e.osCode = fileSystem().lastError();
    e.canRetry = e.canDefault = true;
    return raise(e).action == Answer::Retry;
  };
  std::unique_ptr<File> in;
  while (!(in = fileSystem().open(source.asText(), fmode::Read | fmode::ShareDenyNone)))
    if (!failure(gen::Open, 2012, source.asText())) return Value::logical(false);
  std::unique_ptr<File> out;
  while (!(out = fileSystem().create(target.asText()))) {
    if (!failure(gen::Create, 2012, target.asText())) {
      in->close();
      return Value::logical(false);
    }
  }
  std::vector<char> buf(8192);
  uint64_t at = 0;
  for (;;) {
    const int64_t got = in->readAt(at, buf.data(), buf.size());
    if (got <= 0) break;
    while (out->writeAt(at, buf.data(), static_cast<std::size_t>(got)) != got) {
      if (!failure(gen::Write, 2016, target.asText())) {
        in->close();
        out->close();
        return Value::logical(false);
      }
    }
    at += static_cast<uint64_t>(got);
  }
  in->close();
  out->close();
  return Value();
}

}  // namespace talvor

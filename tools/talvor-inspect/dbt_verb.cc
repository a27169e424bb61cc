#include "dbt_verb.h"

#include "rdd/file_system.h"
#include "rdd/memo_file.h"

namespace talvor {

int runDbtListing(const std::string& path, std::ostream& out) {
  std::unique_ptr<File> file = fileSystem().open(path, fmode::Read | fmode::ShareDenyNone);
  if (!file) {
    out << path << ": cannot open (error " << fileSystem().lastError() << ")\n";
    return 2;
  }
  dbt::Listing listing;
  const bool read = dbt::listTexts(*file, listing);
  const int error = file->lastError();
  file->close();
  if (!read) {
    out << path << ": cannot read (error " << error << ")\n";
    return 2;
  }
  const uint64_t blocks = (listing.fileSize + dbt::kBlockSize - 1) / dbt::kBlockSize;
  const bool damaged = listing.fileSize < dbt::kBlockSize || listing.nextFree == 0 || listing.nextFree > blocks + 1;
  out << path << "\n";
  out << "file size: " << listing.fileSize << " bytes (" << blocks << " blocks of " << dbt::kBlockSize << ")\n";
  out << "next free block: " << listing.nextFree << (damaged ? " (damaged header)" : "") << "\n";
  out << "texts: " << listing.texts.size() << "\n";
  for (const dbt::TextEntry& t : listing.texts) out << "block " << t.block << ": " << t.length << " bytes\n";
  return damaged ? 1 : 0;
}

}  // namespace talvor

#include "demo_exports.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace talvor::demo {

namespace {

// A small deterministic generator (splitmix64), the same on every platform.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  int below(int n) { return static_cast<int>(next() % static_cast<uint64_t>(n)); }
  template <class T, std::size_t N>
  const T& pick(const T (&items)[N]) {
    return items[below(static_cast<int>(N))];
  }

 private:
  uint64_t state_;
};

// Buffers one export file and writes it in large pieces.
class ExportFile {
 public:
  ExportFile(const std::string& dir, const char* name) : path_(dir + "/" + name) {
    file_ = std::fopen(path_.c_str(), "wb");
    if (!file_) std::fprintf(stderr, "talvor-demo: cannot create %s: %s\n", path_.c_str(), std::strerror(errno));
  }
  ~ExportFile() { close(); }
  bool ok() const { return file_ != nullptr && !failed_; }
  void line(const std::string& text) {
    buf_ += text;
    buf_ += "\r\n";
    if (buf_.size() > (1u << 20)) flush();
  }
  bool close() {
    if (!file_) return false;
    flush();
    if (std::fclose(file_) != 0) failed_ = true;
    file_ = nullptr;
    return !failed_;
  }

 private:
  void flush() {
    if (file_ && !buf_.empty() && std::fwrite(buf_.data(), 1, buf_.size(), file_) != buf_.size()) failed_ = true;
    buf_.clear();
  }
  std::string path_;
  std::FILE* file_ = nullptr;
  std::string buf_;
  bool failed_ = false;
};

const char* const kPh1[] = {"AL", "ST", "CU", "BR"};
const char* const kPh2[] = {"EXT", "SHT", "TUB", "ROD", "ANG"};
const char* const kPh3[] = {"6060", "6082", "1050", "5083", "304L"};

std::string fixed(double v, int decimals) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  return buf;
}

std::string materialNumber(int64_t i) {
  // Every 97th material has seven digits: its six-character key is six asterisks.
  return std::to_string(i % 97 == 0 ? 1000000 + i : 100000 + i);
}

struct PhCode {
  const char* ph1;
  const char* ph2;
  const char* ph3;
};

PhCode phCodeOf(int64_t i) {
  return {kPh1[i % 4], kPh2[(i / 4) % 5], kPh3[(i / 20) % 5]};
}

// Date texts in the shapes the exports carry: slashes, points, two-digit years on
// both sides of the epoch window, and shapes that give the empty date.
std::string dateText(Random& rnd) {
  static const char* const shapes[] = {"25/12/2011", "1.2.31", "01/02/32", "14/02/2012",
                                       "20120214", "3/7/99", "28.02.2024", ""};
  return rnd.pick(shapes);
}

std::string materialReference(int64_t i, const std::string& section) {
  switch (i % 5) {
    case 0: return "AB" + std::to_string(i % 100) + "#" + section;  // cut before the '#'
    case 1: return "REF" + std::to_string(i);                        // no '#'
    case 2: return "#LEAD" + std::to_string(i % 10);                 // starts with '#'
    case 3: return "   #BLANKS";                                     // only blanks before '#'
    default: return "SEC-" + std::to_string(i % 1000) + "#2";
  }
}

std::string numberText(double v, int decimals, Random& rnd) {
  // Now and then the trailing-minus and blank-led shapes SAP writes.
  int shape = rnd.below(40);
  if (shape == 0) return fixed(v < 0 ? -v : v, decimals) + "-";
  if (shape == 1) return "  " + fixed(v, decimals);
  return fixed(v, decimals);
}

bool writeMaterial(const std::string& dir, const ExportOptions& o, Random& rnd) {
  ExportFile f(dir, "mat.txt");
  f.line("PH1,PH2,PH3,MATL_NO,GRP_SUBGRP,MATL_REF,MPG,SECTION_NO,LENGTH,MATL_DESC,WT_PER_MTR,"
         "PAINT_PERI,ANOD_PERI,SURFACE_A,WEIGHT,MATL_GRP,SURFACE_CO,BASE_UOM,CREATED");
  static const char* const uoms[] = {"M", "M2", "KG", "EA", "M"};
  static const char* const finishes[] = {"MILL", "ANOD", "PC01", "PC02"};
  static const char* const mpgs[] = {"A10", "B20", "C30", ""};
  for (int64_t i = 1; i <= o.rows; ++i) {
    PhCode ph = phCodeOf(i);
    std::string section = "S" + std::to_string(10000 + i % 5000);
    int length = (i % 23 == 0) ? 0 : (i % 3 == 0 ? 3000 : 6000);
    double surface = (i % 4 == 0) ? 1.0 : (i % 4 == 1 ? 0.0 : 0.125 + (i % 17) * 0.05);
    double weight = 0.5 + (i % 200) * 0.137;
    std::string line = std::string(ph.ph1) + "," + ph.ph2 + "," + ph.ph3 + "," + materialNumber(i) + ",G" +
                       std::to_string(10000 + i % 900) + "," + materialReference(i, section) + "," +
                       rnd.pick(mpgs) + "," + section + "," + std::to_string(length) + ",Profile " +
                       ph.ph2 + " " + std::to_string(20 + i % 80) + "x" + std::to_string(10 + i % 40) + "," +
                       numberText(weight / 6.0, 3, rnd) + "," + numberText(80 + (i % 90) * 1.25, 2, rnd) + "," +
                       numberText(60 + (i % 70) * 1.5, 2, rnd) + "," + fixed(surface, 3) + "," +
                       numberText(weight, 3, rnd) + ",MG" + std::to_string(i % 50) + "," +
                       rnd.pick(finishes) + "," + rnd.pick(uoms) + "," + dateText(rnd);
    f.line(line);
  }
  return f.close();
}

bool writePriceSku(const std::string& dir, const ExportOptions& o, Random& rnd) {
  ExportFile f(dir, "pricesku.txt");
  f.line("MATL_NO,METAL_PRIC,MPG,BASE_UOM,AREA,VALID_FROM");
  static const char* const uoms[] = {"M2", "m2", "M", "KG"};
  for (int64_t i = 1; i <= o.rows; ++i) {
    if (i % 5 >= 2) continue;  // two in five materials have a SKU price
    f.line(materialNumber(i) + "," + fixed(5 + (i % 300) * 0.37, 2) + ",P" + std::to_string(i % 9) + "," +
           rnd.pick(uoms) + "," + fixed(0.25 + (i % 11) * 0.125, 3) + "," + dateText(rnd));
  }
  return f.close();
}

bool writeKits(const std::string& dir, const ExportOptions& o) {
  ExportFile f(dir, "talvor_metal_kit.csv");
  f.line("MATL_NO,PRICE,KIT_DESC");
  for (int64_t i = 1; i <= o.rows; ++i) {
    if (i % 7 != 0) continue;  // overlaps the SKU prices where i % 5 < 2
    f.line(materialNumber(i) + "," + fixed(12 + (i % 50) * 2.5, 2) + ",\"Kit " + std::to_string(i) + ", boxed\"");
  }
  return f.close();
}

bool writeMetalPrices(const std::string& dir) {
  ExportFile f(dir, "talvor_metal_ph.csv");
  f.line("PH1,PH2,PH3,METAL_PRIC,UOM");
  static const char* const uoms[] = {"KG", "M", ""};
  int n = 0;
  for (const char* p1 : kPh1)
    for (const char* p2 : kPh2)
      for (const char* p3 : kPh3) {
        if (++n % 9 == 0) continue;  // some codes have no metal price
        f.line(std::string(p1) + "," + p2 + "," + p3 + "," + fixed(2.5 + n * 0.0125, 4) + "," + uoms[n % 3]);
      }
  return f.close();
}

bool writeFinishPrices(const std::string& dir) {
  ExportFile f(dir, "finph.txt");
  f.line("PH1,PH2,PH3,FIN_DESC,FIN_PRICE");
  int n = 0;
  for (const char* p1 : kPh1)
    for (const char* p2 : kPh2)
      for (const char* p3 : kPh3) {
        ++n;
        f.line(std::string(p1) + "," + p2 + "," + p3 + ",Finish " + std::to_string(n) + "," + fixed(n * 0.75, 2));
      }
  return f.close();
}

std::string customer(int64_t i) { return i % 13 == 0 ? "1234567" : std::to_string(4000 + i); }

std::string discount(int64_t i) {
  static const char* const values[] = {"12.5", "-5.25", "7", "0.125", "33.33", "100"};
  return values[i % 6];
}

bool writeDiscounts(const std::string& dir, const ExportOptions& o, Random& rnd) {
  int64_t customers = o.rows / 10 < 20 ? 20 : o.rows / 10;
  ExportFile metal(dir, "metdisc.txt");
  metal.line("CUSTOMER,PH1,PH2,PH3,DISCOUNT,VALID_TO");
  ExportFile finish(dir, "findisc.txt");
  finish.line("CUSTOMER,PH1,PH2,PH3,DISCOUNT");
  ExportFile uom(dir, "talvor_zuom_disc.csv");
  uom.line("CUSTOMER,UOM,DISCOUNT");
  ExportFile sku(dir, "skudisc.txt");
  sku.line("CUSTOMER,MATL_NO,DISCOUNT");
  for (int64_t i = 1; i <= customers; ++i) {
    PhCode ph = phCodeOf(i * 3);
    std::string codes = std::string(ph.ph1) + "," + ph.ph2 + "," + ph.ph3;
    metal.line(customer(i) + "," + codes + "," + discount(i) + "," + dateText(rnd));
    finish.line(customer(i) + "," + codes + "," + discount(i + 1));
    uom.line(customer(i) + "," + (i % 2 ? "M" : "KG") + "," + discount(i + 2));
    sku.line(customer(i) + "," + materialNumber(i * 5) + "," + discount(i + 3));
  }
  return metal.close() && finish.close() && uom.close() && sku.close();
}

bool writeFinishSku(const std::string& dir, const ExportOptions& o) {
  ExportFile f(dir, "finsku.txt");
  f.line("MATL_NO,FIN_PRICE,FIN_UOM");
  for (int64_t i = 1; i <= o.rows; i += 3) f.line(materialNumber(i) + "," + fixed(1 + (i % 40) * 0.5, 2) + ",M");
  return f.close();
}

bool writeAlloys(const std::string& dir) {
  ExportFile f(dir, "talvor_zalf.csv");
  f.line("ALLOY,TEMPER,RATE,ACTIVE,VALID");
  static const char* const rows[] = {
      "6060,T5,1.125,T,20240101", "6082,T6,1.250,True,20231231", "1050,H14,0.975,F,20230615",
      "5083,H111,1.5,t,20240229",   "304L,ANN,2.375,Y,20120214",
  };
  for (const char* r : rows) f.line(r);
  return f.close();
}

}  // namespace

bool writeDemoExports(const std::string& dir, const ExportOptions& options) {
  Random rnd(options.seed);
  return writeMaterial(dir, options, rnd) && writePriceSku(dir, options, rnd) && writeKits(dir, options) &&
         writeMetalPrices(dir) && writeFinishPrices(dir) && writeDiscounts(dir, options, rnd) &&
         writeFinishSku(dir, options) && writeAlloys(dir);
}

}  // namespace talvor::demo

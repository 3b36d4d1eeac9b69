// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/PdfListing.h"

#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "base/SafeFile.h"

namespace kolvex {

namespace {

// The font's resource name on the listing pages; the document's own fonts
// are named /F and a number.
constexpr const char* kFontName = "/KL0";
// A subset font's name starts with six capitals and a plus sign.
constexpr const char* kSubsetTag = "KVXAAA+";

// A number of at most three decimals, as PDF writes reals.
std::string Real(double v) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.3f", v);
    std::string s = buf;
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
    return s == "-0" ? "0" : s;
}

bool Delimiter(char c) {
    return std::strchr(" \t\r\n\f/<>[]()%", c) != nullptr || c == '\0';
}

std::size_t SkipBlanks(std::string_view s, std::size_t at) {
    while (at < s.size() && std::strchr(" \t\r\n\f", s[at]) && s[at]) ++at;
    return at;
}

// An unsigned integer at `at` (after blanks); npos when there is none.
std::size_t ReadUnsigned(std::string_view s, std::size_t& at, std::uint64_t& v) {
    at = SkipBlanks(s, at);
    const std::size_t start = at;
    v = 0;
    while (at < s.size() && s[at] >= '0' && s[at] <= '9' && at - start < 19) v = v * 10 + static_cast<unsigned>(s[at++] - '0');
    return at > start ? at : std::string_view::npos;
}

// "N G R" at `at`: the object number, with `at` after the R.
bool ReadReference(std::string_view s, std::size_t& at, std::uint64_t& num) {
    std::uint64_t gen = 0;
    if (ReadUnsigned(s, at, num) == std::string_view::npos) return false;
    if (ReadUnsigned(s, at, gen) == std::string_view::npos) return false;
    at = SkipBlanks(s, at);
    if (at >= s.size() || s[at] != 'R') return false;
    ++at;
    return true;
}

// Where the value of key (a name such as "/Contents") starts in a dictionary's
// text; npos when the key is not there.
std::size_t ValueOf(std::string_view dict, std::string_view key) {
    for (std::size_t at = dict.find(key); at != std::string_view::npos; at = dict.find(key, at + 1))
        if (at + key.size() >= dict.size() || Delimiter(dict[at + key.size()])) return SkipBlanks(dict, at + key.size());
    return std::string_view::npos;
}

bool ReferenceOf(std::string_view dict, std::string_view key, std::uint64_t& num) {
    std::size_t at = ValueOf(dict, key);
    return at != std::string_view::npos && ReadReference(dict, at, num);
}

// Adds our font to a resource dictionary's text ("<< ... >>"): into its
// font dictionary, or as a new one. False when the fonts are an indirect
// object (not made by the writers this serves).
bool AddFont(std::string& dict, std::uint64_t font) {
    const std::string entry = std::string(kFontName) + " " + std::to_string(font) + " 0 R\n";
    const std::size_t fonts = ValueOf(dict, "/Font");
    if (fonts == std::string_view::npos) {
        const std::size_t open = dict.find("<<");
        if (open == std::string::npos) return false;
        dict.insert(open + 2, "\n/Font <<\n" + entry + ">>\n");
        return true;
    }
    if (dict.compare(fonts, 2, "<<") != 0) return false;
    dict.insert(fonts + 2, "\n" + entry);
    return true;
}

// The escapes of a literal string's bytes: parentheses, the backslash and a
// carriage return (which a reader would take as a line feed).
struct Escapes {
    char Of[256] = {};
    Escapes() {
        Of[static_cast<unsigned char>('(')] = '(';
        Of[static_cast<unsigned char>(')')] = ')';
        Of[static_cast<unsigned char>('\\')] = '\\';
        Of[static_cast<unsigned char>('\r')] = 'r';
    }
};
const Escapes kEscapes;

}  // namespace

PdfListingWriter::PdfListingWriter(const TrueTypeFont& font, double fontSize, int scratchFd,
                                   std::function<void(const std::string& why)> fail, int level)
    : font_(font), fontSize_(fontSize), scratch_(scratchFd), fail_(std::move(fail)), level_(level),
      kind_(font.GlyphCount(), 0), widths_(font.GlyphCount(), 0) {}

void PdfListingWriter::SetUnicode(std::uint16_t glyph, char32_t c) { unicode_.emplace(glyph, c); }

void PdfListingWriter::BeginPage(std::size_t page, const PdfPageMatrix& m) {
    page_ = page;
    content_.clear();
    content_ += "q " + Real(m.A) + " 0 0 " + Real(m.D) + " " + Real(m.E) + " " + Real(m.F) + " cm\nBT\n" + kFontName +
                " " + Real(fontSize_) + " Tf 1 0 0 -1 0 0 Tm\n";
    lastX_ = lastY_ = 0;
    cells_ = 0;
}

void PdfListingWriter::PutNumber(long long hundredths) {
    char buf[32];
    char* end = buf + sizeof buf;
    char* p = end;
    const bool negative = hundredths < 0;
    unsigned long long v = negative ? 0ULL - static_cast<unsigned long long>(hundredths) : static_cast<unsigned long long>(hundredths);
    const unsigned fraction = static_cast<unsigned>(v % 100);
    v /= 100;
    if (fraction != 0) {
        if (fraction % 10 != 0) *--p = static_cast<char>('0' + fraction % 10);
        *--p = static_cast<char>('0' + fraction / 10);
        *--p = '.';
    }
    do {
        *--p = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0);
    if (negative) *--p = '-';
    content_.append(p, static_cast<std::size_t>(end - p));
}

void PdfListingWriter::PutGlyphs(const std::uint16_t* glyphs, std::size_t n) {
    content_ += '(';
    for (std::size_t i = 0; i < n; ++i) {
        for (const unsigned char b : {static_cast<unsigned char>(glyphs[i] >> 8), static_cast<unsigned char>(glyphs[i] & 0xFF)}) {
            const char e = kEscapes.Of[b];
            if (e) {
                content_ += '\\';
                content_ += e;
            } else {
                content_ += static_cast<char>(b);
            }
        }
    }
    content_ += ')';
}

bool PdfListingWriter::IsBlank(std::uint16_t g) {
    if (g >= kind_.size()) return true;
    if (kind_[g] == 0) {
        widths_[g] = font_.Width(g);
        kind_[g] = font_.Blank(g) ? 2 : 1;
    }
    return kind_[g] == 2;
}

void PdfListingWriter::Cell(double x, double y, const std::uint16_t* glyphs, std::size_t n) {
    std::size_t first = 0, last = n;
    double pos = x;
    for (; first < last && IsBlank(glyphs[first]); ++first)
        if (glyphs[first] < widths_.size()) pos += widths_[glyphs[first]] * fontSize_ / 1000;
    while (last > first && IsBlank(glyphs[last - 1])) --last;
    if (first == last) return;
    ++cells_;
    const long long cx = std::llround(pos * 100), cy = std::llround(y * 100);
    PutNumber(cx - lastX_);
    content_ += ' ';
    PutNumber(lastY_ - cy);  // the text space's y grows upwards
    content_ += " Td ";
    lastX_ = cx;
    lastY_ = cy;
    bool inner = false;
    for (std::size_t i = first; i < last && !inner; ++i) inner = IsBlank(glyphs[i]);
    if (!inner) {
        PutGlyphs(glyphs + first, last - first);
        content_ += "Tj\n";
        return;
    }
    // Blanks inside the cell: a text array whose numbers move the next glyph
    // on by the blanks' width.
    content_ += '[';
    for (std::size_t i = first; i < last;) {
        std::size_t j = i;
        while (j < last && !IsBlank(glyphs[j])) ++j;
        PutGlyphs(glyphs + i, j - i);
        double advance = 0;
        for (i = j; i < last && IsBlank(glyphs[i]); ++i)
            if (glyphs[i] < widths_.size()) advance += widths_[glyphs[i]];
        if (advance > 0) PutNumber(-std::llround(advance * 100));
    }
    content_ += "]TJ\n";
}

void PdfListingWriter::EndPage() {
    if (cells_ == 0) return;  // a page without listing text keeps its own content alone
    content_ += "ET\nQ\n";
    z_stream z{};
    if (deflateInit(&z, level_) != Z_OK) fail_("zlib");
    packed_.resize(deflateBound(&z, content_.size()));
    z.next_in = reinterpret_cast<Bytef*>(content_.data());
    z.avail_in = static_cast<uInt>(content_.size());
    z.next_out = reinterpret_cast<Bytef*>(packed_.data());
    z.avail_out = static_cast<uInt>(packed_.size());
    const int rc = deflate(&z, Z_FINISH);
    const std::size_t length = z.total_out;
    deflateEnd(&z);
    if (rc != Z_STREAM_END) fail_("zlib");
    if (!PwriteAll(scratch_, packed_.data(), length, static_cast<std::int64_t>(scratchSize_)))
        fail_(FileErrorText(errno ? errno : ENOSPC));
    streams_.push_back({page_, scratchSize_, length});
    scratchSize_ += length;
}

namespace {

// The parts of a finished document the update needs: its cross-reference
// table (one section, as a single writer leaves it) and trailer, and the
// text of its objects.
class Document {
public:
    Document(int fd, const std::function<void(const std::string&)>& fail) : fd_(fd), fail_(fail) {}

    bool Open() {
        struct stat st {};
        if (::fstat(fd_, &st) != 0) fail_(FileErrorText(errno));
        size_ = static_cast<std::uint64_t>(st.st_size);
        const std::uint64_t tailSize = std::min<std::uint64_t>(size_, 1024);
        const std::string tail = Read(size_ - tailSize, tailSize);
        std::size_t at = tail.rfind("startxref");
        if (at == std::string::npos) return false;
        at += 9;
        if (ReadUnsigned(tail, at, xref_) == std::string::npos || xref_ >= size_) return false;
        if (size_ - xref_ > (std::uint64_t{64} << 20)) return false;
        const std::string x = Read(xref_, size_ - xref_);
        if (x.compare(0, 4, "xref") != 0) return false;
        at = 4;
        for (;;) {
            at = SkipBlanks(x, at);
            if (x.compare(at, 7, "trailer") == 0) break;
            std::uint64_t first = 0, count = 0;
            if (ReadUnsigned(x, at, first) == std::string::npos || ReadUnsigned(x, at, count) == std::string::npos)
                return false;
            if (first + count > (std::uint64_t{1} << 23)) return false;
            if (offsets_.size() < first + count) offsets_.resize(first + count, 0);
            for (std::uint64_t k = 0; k < count; ++k) {
                std::uint64_t offset = 0, gen = 0;
                if (ReadUnsigned(x, at, offset) == std::string::npos || ReadUnsigned(x, at, gen) == std::string::npos)
                    return false;
                at = SkipBlanks(x, at);
                if (at >= x.size()) return false;
                offsets_[first + k] = x[at] == 'n' && gen == 0 ? offset : 0;
                ++at;
            }
        }
        trailer_ = x.substr(at + 7);
        return ReferenceOf(trailer_, "/Root", root_) && ValueOf(trailer_, "/Size") != std::string::npos &&
               ValueOf(trailer_, "/XRefStm") == std::string::npos;
    }

    // The text between "N 0 obj" and "endobj"; empty when it is not there.
    std::string Object(std::uint64_t num) {
        if (num >= offsets_.size() || offsets_[num] == 0 || offsets_[num] >= xref_) return {};
        const std::string head = std::to_string(num) + " 0 obj";
        std::string text;
        std::size_t end = std::string::npos;
        for (std::uint64_t chunk = 1024; end == std::string::npos; chunk *= 4) {
            const std::uint64_t n = std::min<std::uint64_t>(chunk, xref_ - offsets_[num]);
            text = Read(offsets_[num], n);
            end = text.find("endobj");
            if (n < chunk) break;
        }
        if (end == std::string::npos || text.compare(0, head.size(), head) != 0) return {};
        return text.substr(head.size(), end - head.size());
    }

    // The page objects in order (a flat page tree, as one writer leaves it).
    bool Pages(std::vector<std::uint64_t>& pages) {
        std::uint64_t tree = 0;
        if (!ReferenceOf(Object(root_), "/Pages", tree)) return false;
        const std::string node = Object(tree);
        std::size_t at = ValueOf(node, "/Kids");
        if (at == std::string::npos || node[at] != '[') return false;
        ++at;
        for (;;) {
            at = SkipBlanks(node, at);
            if (at >= node.size()) return false;
            if (node[at] == ']') return true;
            std::uint64_t page = 0;
            if (!ReadReference(node, at, page)) return false;
            pages.push_back(page);
        }
    }

    std::uint64_t Size() const { return size_; }
    std::uint64_t ObjectCount() const { return offsets_.size(); }
    std::uint64_t Xref() const { return xref_; }
    const std::string& Trailer() const { return trailer_; }

    std::string Read(std::uint64_t offset, std::uint64_t n) {
        std::string s(n, '\0');
        if (!PreadAll(fd_, s.data(), n, static_cast<std::int64_t>(offset))) fail_(FileErrorText(errno ? errno : EIO));
        return s;
    }

private:
    int fd_;
    const std::function<void(const std::string&)>& fail_;
    std::uint64_t size_ = 0, xref_ = 0, root_ = 0;
    std::vector<std::uint64_t> offsets_;  // by object number; 0 for a free one
    std::string trailer_;
};

}  // namespace

namespace pdf_detail {

// Appends to the end of a file through a buffer.
class Appender {
public:
    Appender(int fd, std::uint64_t at, const std::function<void(const std::string&)>& fail)
        : fd_(fd), at_(at), fail_(fail) {}
    std::uint64_t Position() const { return at_ + buf_.size(); }
    void Put(std::string_view s) {
        buf_ += s;
        if (buf_.size() >= (1u << 20)) Flush();
    }
    void Flush() {
        if (!PwriteAll(fd_, buf_.data(), buf_.size(), static_cast<std::int64_t>(at_)))
            fail_(FileErrorText(errno ? errno : ENOSPC));
        at_ += buf_.size();
        buf_.clear();
    }

    // An object of the update, its offset noted for the cross-reference section.
    void Object(std::uint64_t num, std::string_view body) {
        Offsets.emplace_back(num, Position());
        Put(std::to_string(num) + " 0 obj\n");
        Put(body);
        Put("\nendobj\n");
    }
    void Stream(std::uint64_t num, const std::string& dict, std::string_view data) {
        Offsets.emplace_back(num, Position());
        Put(std::to_string(num) + " 0 obj\n" + dict + "\nstream\n");
        Put(data);
        Put("\nendstream\nendobj\n");
    }
    // The cross-reference section of what was written, in runs of
    // consecutive numbers, and the trailer; its offset.
    std::uint64_t CrossReference() {
        const std::uint64_t xref = Position();
        Put("xref\n");
        std::sort(Offsets.begin(), Offsets.end());
        for (auto it = Offsets.begin(); it != Offsets.end();) {
            auto end = it;
            std::uint64_t count = 0;
            while (end != Offsets.end() && end->first == it->first + count) {
                ++end;
                ++count;
            }
            Put(std::to_string(it->first) + " " + std::to_string(count) + "\n");
            for (; it != end; ++it) {
                char entry[24];
                std::snprintf(entry, sizeof entry, "%010llu 00000 n \n", static_cast<unsigned long long>(it->second));
                Put(entry);
            }
        }
        return xref;
    }

    std::vector<std::pair<std::uint64_t, std::uint64_t>> Offsets;  // object number, offset

private:
    int fd_;
    std::uint64_t at_;
    const std::function<void(const std::string&)>& fail_;
    std::string buf_;
};

}  // namespace pdf_detail

namespace {

using pdf_detail::Appender;

std::string Deflated(const std::string& data, int level) {
    uLongf n = compressBound(static_cast<uLong>(data.size()));
    std::string out(n, '\0');
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &n, reinterpret_cast<const Bytef*>(data.data()),
                  static_cast<uLong>(data.size()), level) != Z_OK)
        return {};
    out.resize(n);
    return out;
}

std::string Hex4(std::uint32_t v) {
    char buf[12];
    std::snprintf(buf, sizeof buf, "%04X", v);
    return buf;
}

// The map from glyphs to the text they stand for, as text extraction reads it.
std::string ToUnicodeMap(const std::map<std::uint16_t, char32_t>& unicode) {
    std::string s =
        "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
        "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
        "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
        "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n";
    std::vector<std::pair<std::uint16_t, char32_t>> pairs(unicode.begin(), unicode.end());
    for (std::size_t i = 0; i < pairs.size(); i += 100) {
        const std::size_t n = std::min<std::size_t>(100, pairs.size() - i);
        s += std::to_string(n) + " beginbfchar\n";
        for (std::size_t k = i; k < i + n; ++k) {
            const char32_t c = pairs[k].second;
            const std::string text = c < 0x10000 ? Hex4(c)
                                                 : Hex4(0xD800 + ((c - 0x10000) >> 10)) + Hex4(0xDC00 + ((c - 0x10000) & 0x3FF));
            s += "<" + Hex4(pairs[k].first) + "> <" + text + ">\n";
        }
        s += "endbfchar\n";
    }
    s += "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
    return s;
}

// Each listing page restated to name our stream before its own, and its
// resources to hold our font, handed to `put` one object at a time (nothing
// is kept, so memory does not grow with the page count); false when one is
// not as expected.
bool RestatePages(Document& doc, const std::vector<std::uint64_t>& pages,
                  const std::vector<std::pair<std::size_t, std::uint64_t>>& streams, std::uint64_t font,
                  const std::function<void(std::uint64_t num, const std::string& body)>& put) {
    std::vector<bool> done(doc.ObjectCount(), false);
    for (const auto& [index, stream] : streams) {
        if (index >= pages.size() || pages[index] >= done.size() || done[pages[index]]) return false;
        const std::uint64_t num = pages[index];
        done[num] = true;
        std::string page = doc.Object(num);
        if (ValueOf(page, "/Type") == std::string::npos || page.find("/Pages") != std::string::npos) return false;
        const std::string ours = std::to_string(stream) + " 0 R ";
        std::size_t at = ValueOf(page, "/Contents");
        if (at == std::string::npos) return false;
        if (page[at] == '[') {
            page.insert(at + 1, ours);
        } else {
            std::size_t end = at;
            std::uint64_t old = 0;
            if (!ReadReference(page, end, old)) return false;
            page.replace(at, end - at, "[" + ours + std::to_string(old) + " 0 R]");
        }
        at = ValueOf(page, "/Resources");
        if (at == std::string::npos) return false;
        if (page.compare(at, 2, "<<") == 0) {
            std::string dict = page.substr(at);
            if (!AddFont(dict, font)) return false;
            page = page.substr(0, at) + dict;
        } else {
            std::uint64_t resources = 0;
            if (!ReadReference(page, at, resources) || resources >= done.size()) return false;
            if (!done[resources]) {
                done[resources] = true;
                std::string dict = doc.Object(resources);
                if (dict.empty() || !AddFont(dict, font)) return false;
                put(resources, dict);
            }
        }
        put(num, page);
    }
    return true;
}

}  // namespace

// The font objects from number `first` on (Type 0 font, CID font,
// descriptor, font file, text map): the glyphs drawn, their widths and what
// they stand for.
void PdfListingWriter::WriteFont(pdf_detail::Appender& out, std::uint64_t first) const {
    const std::uint64_t type0 = first, cidFont = first + 1, descriptor = first + 2, file = first + 3, toUnicode = first + 4;
    std::set<std::uint16_t> drawn;
    for (std::size_t g = 0; g < kind_.size(); ++g)
        if (kind_[g] == 1) drawn.insert(static_cast<std::uint16_t>(g));
    const std::string name = std::string("/") + kSubsetTag + font_.PostScriptName();
    std::string widths = "[";
    for (const std::uint16_t g : drawn) widths += std::to_string(g) + " [" + Real(widths_[g]) + "] ";
    widths += "]";
    out.Object(type0, "<< /Type /Font /Subtype /Type0 /BaseFont " + name + " /Encoding /Identity-H /DescendantFonts [" +
                          std::to_string(cidFont) + " 0 R] /ToUnicode " + std::to_string(toUnicode) + " 0 R >>");
    out.Object(cidFont, "<< /Type /Font /Subtype /CIDFontType2 /BaseFont " + name +
                            " /CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> /FontDescriptor " +
                            std::to_string(descriptor) + " 0 R /CIDToGIDMap /Identity /DW 1000 /W " + widths + " >>");
    double box[4];
    font_.BoundingBox(box);
    out.Object(descriptor, "<< /Type /FontDescriptor /FontName " + name + " /Flags 4 /FontBBox [" + Real(box[0]) + " " +
                               Real(box[1]) + " " + Real(box[2]) + " " + Real(box[3]) + "] /ItalicAngle 0 /Ascent " +
                               Real(font_.Ascent()) + " /Descent " + Real(font_.Descent()) + " /CapHeight " +
                               Real(font_.CapHeight()) + " /StemV 80 /FontFile2 " + std::to_string(file) + " 0 R >>");
    const std::string fontFile = font_.Subset(drawn);
    const std::string packed = Deflated(fontFile, 9);
    out.Stream(file,
               "<< /Length " + std::to_string(packed.size()) + " /Length1 " + std::to_string(fontFile.size()) +
                   " /Filter /FlateDecode >>",
               packed);
    std::map<std::uint16_t, char32_t> unicode;
    for (const std::uint16_t g : drawn)
        if (unicode_.count(g)) unicode[g] = unicode_.at(g);
    const std::string cmap = ToUnicodeMap(unicode);
    out.Stream(toUnicode, "<< /Length " + std::to_string(cmap.size()) + " >>", cmap);
}

bool PdfListingWriter::Finish(int pdfFd) {
    if (streams_.empty()) return true;  // nothing to add
    Document doc(pdfFd, fail_);
    std::vector<std::uint64_t> pages;
    if (!doc.Open() || !doc.Pages(pages)) return false;
    std::uint64_t next = 0;
    std::size_t at = ValueOf(doc.Trailer(), "/Size");
    if (ReadUnsigned(doc.Trailer(), at, next) == std::string::npos) return false;
    const std::uint64_t firstStream = next, font = next + streams_.size();
    next = font + 5;

    // Every listing page and its resources checked before anything is written.
    std::vector<std::pair<std::size_t, std::uint64_t>> pageStreams;
    for (std::size_t i = 0; i < streams_.size(); ++i) pageStreams.emplace_back(streams_[i].Page, firstStream + i);
    if (!RestatePages(doc, pages, pageStreams, font, [](std::uint64_t, const std::string&) {})) return false;

    pdf_detail::Appender out(pdfFd, doc.Size(), fail_);
    out.Put("\n");
    std::string data;
    for (std::size_t i = 0; i < streams_.size(); ++i) {
        const Stream& s = streams_[i];
        data.resize(s.Length);
        if (!PreadAll(scratch_, data.data(), s.Length, static_cast<std::int64_t>(s.Offset)))
            fail_(FileErrorText(errno ? errno : EIO));
        out.Stream(firstStream + i, "<< /Length " + std::to_string(s.Length) + " /Filter /FlateDecode >>", data);
    }
    WriteFont(out, font);
    // The same pages again, now written (the document has not changed since).
    RestatePages(doc, pages, pageStreams, font, [&out](std::uint64_t num, const std::string& body) { out.Object(num, body); });

    const std::uint64_t xref = out.CrossReference();
    std::string trailer = "trailer\n<< /Size " + std::to_string(next) + " /Prev " + std::to_string(doc.Xref());
    std::uint64_t root = 0, info = 0;
    ReferenceOf(doc.Trailer(), "/Root", root);
    trailer += " /Root " + std::to_string(root) + " 0 R";
    if (ReferenceOf(doc.Trailer(), "/Info", info)) trailer += " /Info " + std::to_string(info) + " 0 R";
    if (const std::size_t id = ValueOf(doc.Trailer(), "/ID"); id != std::string::npos) {
        const std::size_t end = doc.Trailer().find(']', id);
        if (end != std::string::npos) trailer += " /ID " + doc.Trailer().substr(id, end + 1 - id);
    }
    out.Put(trailer + " >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n");
    out.Flush();
    return true;
}

}  // namespace kolvex

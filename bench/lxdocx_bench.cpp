// lxdocx_bench: runs ONE benchmark task and exits, so that whoever starts it
// can take the task's wall time and peak memory from the operating system's
// accounting of the finished process (bench/run_bench.py does).
//
//   lxdocx_bench open-saveas IN OUT       lxDocx_open + lxDocx_save_as
//   lxdocx_bench open-edit-saveas IN OUT  open, one edit of the body, save-as
//   lxdocx_bench zlib-floor IN            inflate and re-deflate every member
//                                         with zlib alone
//   lxdocx_bench write-html IN.html OUT   lxDocx_write_html of the page
//   lxdocx_bench qt-sethtml IN.html       QTextDocument::setHtml of the page alone
//
// Exit status: 0 done, 1 the task failed (reason on stderr), 2 usage error.
// Nothing is printed on success unless the task has figures to show.
#include <lorvexdocx.h>

#include <QTextDocument>

#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

int fail(const std::string &what, const char *detail = nullptr)
{
    std::cerr << "lxdocx_bench: " << what;
    if (detail && *detail)
        std::cerr << ": " << detail;
    std::cerr << '\n';
    return 1;
}

// ---- open-saveas --------------------------------------------------------------

// The plain round trip of a host: everything through the C interface.
int runOpenSaveAs(const std::vector<std::string> &args)
{
    DocxHandle *h = lxDocx_open(args[0].c_str());
    if (!h)
        return fail("cannot open " + args[0], lxDocx_error(nullptr));
    const bool saved = lxDocx_save_as(h, args[1].c_str()) == 1;
    const std::string error = saved ? std::string() : lxDocx_error(h);
    lxDocx_close(h);
    return saved ? 0 : fail("cannot save " + args[1], error.c_str());
}

// ---- open-edit-saveas -----------------------------------------------------------

// One edit of the body through the C interface: the first paragraph replaced
// by a short HTML paragraph.
int runOpenEditSaveAs(const std::vector<std::string> &args)
{
    lxDocx_init();
    DocxHandle *h = lxDocx_open(args[0].c_str());
    if (!h)
        return fail("cannot open " + args[0], lxDocx_error(nullptr));
    const bool done = lxDocx_set_body_html(h, "<p>An <b>edited</b> first paragraph.</p>") == 1
        && lxDocx_save_as(h, args[1].c_str()) == 1;
    const std::string error = done ? std::string() : lxDocx_error(h);
    lxDocx_close(h);
    return done ? 0 : fail("cannot edit and save " + args[0], error.c_str());
}

// ---- open-page-props-saveas ----------------------------------------------------

// Page setup and a property, as a host changes them: margins of the last
// section and the title.
int runOpenPagePropsSaveAs(const std::vector<std::string> &args)
{
    DocxHandle *h = lxDocx_open(args[0].c_str());
    if (!h)
        return fail("cannot open " + args[0], lxDocx_error(nullptr));
    const bool done = lxDocx_set_margins(h, 1134, 1134, 1418, 1418, 709, 709, 0, 0) == 1
        && lxDocx_set_doc_property(h, "title", "Benchmarked") == 1 && lxDocx_save_as(h, args[1].c_str()) == 1;
    const std::string error = done ? std::string() : lxDocx_error(h);
    lxDocx_close(h);
    return done ? 0 : fail("cannot set up and save " + args[0], error.c_str());
}

// ---- resave -------------------------------------------------------------------------

int runResave(const std::vector<std::string> &args)
{
    lxDocx_init();
    if (!lxDocx_resave_full(args[0].c_str(), args[1].c_str()))
        return fail("cannot re-save " + args[0], lxDocx_error(nullptr));
    return 0;
}

// ---- zlib-floor ------------------------------------------------------------------

// The least any open + save of the package must do: inflate every member and
// deflate it again (raw deflate, window bits -15, default level), with zlib
// alone and nothing else: no XML, no CRC, no file written.

uint16_t u16(const unsigned char *p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t u32(const unsigned char *p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

struct Member
{
    std::string name;
    uint16_t method = 0;
    uint32_t compressedSize = 0;
    uint32_t uncompressedSize = 0;
    uint64_t dataOffset = 0;
};

bool listMembers(const std::vector<unsigned char> &zip, std::vector<Member> &out, std::string &err)
{
    const size_t n = zip.size();
    if (n < 22) {
        err = "too short for a ZIP archive";
        return false;
    }
    size_t eocd = n - 22;
    const size_t lowest = n > 22 + 0xFFFF ? n - 22 - 0xFFFF : 0;
    while (u32(&zip[eocd]) != 0x06054b50) {
        if (eocd == lowest) {
            err = "end of central directory not found";
            return false;
        }
        --eocd;
    }
    const unsigned count = u16(&zip[eocd + 10]);
    size_t at = u32(&zip[eocd + 16]);
    for (unsigned i = 0; i < count; ++i) {
        if (at + 46 > n || u32(&zip[at]) != 0x02014b50) {
            err = "bad central directory entry";
            return false;
        }
        Member m;
        m.method = u16(&zip[at + 10]);
        m.compressedSize = u32(&zip[at + 20]);
        m.uncompressedSize = u32(&zip[at + 24]);
        const size_t nameLen = u16(&zip[at + 28]);
        const size_t extraLen = u16(&zip[at + 30]);
        const size_t commentLen = u16(&zip[at + 32]);
        const size_t local = u32(&zip[at + 42]);
        if (at + 46 + nameLen > n || local + 30 > n || u32(&zip[local]) != 0x04034b50) {
            err = "bad member header";
            return false;
        }
        m.name.assign(reinterpret_cast<const char *>(&zip[at + 46]), nameLen);
        m.dataOffset = local + 30 + u16(&zip[local + 26]) + u16(&zip[local + 28]);
        if (m.dataOffset + m.compressedSize > n) {
            err = "member data past the end: " + m.name;
            return false;
        }
        out.push_back(m);
        at += 46 + nameLen + extraLen + commentLen;
    }
    return true;
}

bool inflateMember(const unsigned char *data, const Member &m, std::vector<unsigned char> &out)
{
    out.resize(m.uncompressedSize);
    if (m.method == 0) {
        std::memcpy(out.data(), data, m.uncompressedSize);
        return m.compressedSize == m.uncompressedSize;
    }
    if (m.method != 8)
        return false;
    z_stream zs{};
    if (inflateInit2(&zs, -MAX_WBITS) != Z_OK)
        return false;
    zs.next_in = const_cast<Bytef *>(data);
    zs.avail_in = m.compressedSize;
    zs.next_out = out.data();
    zs.avail_out = uInt(out.size());
    const int rc = inflate(&zs, Z_FINISH);
    inflateEnd(&zs);
    return rc == Z_STREAM_END && zs.total_out == m.uncompressedSize;
}

bool deflateMember(const std::vector<unsigned char> &in, std::vector<unsigned char> &out)
{
    z_stream zs{};
    if (deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return false;
    out.resize(deflateBound(&zs, uLong(in.size())));
    zs.next_in = const_cast<Bytef *>(in.data());
    zs.avail_in = uInt(in.size());
    zs.next_out = out.data();
    zs.avail_out = uInt(out.size());
    const int rc = deflate(&zs, Z_FINISH);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return rc == Z_STREAM_END;
}

int runZlibFloor(const std::vector<std::string> &args)
{
    std::ifstream file(args[0], std::ios::binary);
    if (!file)
        return fail("cannot open " + args[0]);
    const std::vector<unsigned char> zip((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::vector<Member> members;
    std::string err;
    if (!listMembers(zip, members, err))
        return fail(args[0], err.c_str());
    std::vector<unsigned char> inflated, deflated;
    uint64_t totalIn = 0, totalOut = 0;
    for (const Member &m : members) {
        if (!inflateMember(zip.data() + m.dataOffset, m, inflated))
            return fail("cannot inflate " + m.name);
        if (!deflateMember(inflated, deflated))
            return fail("cannot deflate " + m.name);
        totalIn += inflated.size();
        totalOut += deflated.size();
    }
    std::cout << members.size() << " members, " << totalIn << " bytes inflated, " << totalOut
              << " bytes deflated\n";
    return 0;
}

// ---- write-html, qt-sethtml ----------------------------------------------------------

bool readPage(const std::string &path, std::string &html)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    html.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

// A host writing a new document from an HTML page: everything through the C
// interface, lxDocx_init included.
int runWriteHtml(const std::vector<std::string> &args)
{
    std::string html;
    if (!readPage(args[0], html))
        return fail("cannot read " + args[0]);
    lxDocx_init();
    if (!lxDocx_write_html(args[1].c_str(), html.c_str()))
        return fail("cannot write " + args[1], lxDocx_error(nullptr));
    return 0;
}

// What Qt's HTML parser alone costs on the page (the rich text every HTML
// conversion starts from), with the same start-up as write-html.
int runQtSetHtml(const std::vector<std::string> &args)
{
    std::string html;
    if (!readPage(args[0], html))
        return fail("cannot read " + args[0]);
    lxDocx_init();
    QTextDocument qd;
    qd.setHtml(QString::fromUtf8(html.data(), qsizetype(html.size())));
    std::cout << qd.blockCount() << " blocks\n";
    return 0;
}

// ---- the task table ----------------------------------------------------------------

struct Task
{
    const char *name;
    const char *usage;
    size_t arguments;
    int (*run)(const std::vector<std::string> &);
};

const Task kTasks[] = {
    {"open-saveas", "IN OUT", 2, runOpenSaveAs},
    {"open-edit-saveas", "IN OUT", 2, runOpenEditSaveAs},
    {"open-page-props-saveas", "IN OUT", 2, runOpenPagePropsSaveAs},
    {"resave", "IN OUT", 2, runResave},
    {"zlib-floor", "IN", 1, runZlibFloor},
    {"write-html", "IN.html OUT", 2, runWriteHtml},
    {"qt-sethtml", "IN.html", 1, runQtSetHtml},
};

int usage()
{
    std::cerr << "Usage: lxdocx_bench TASK ARGS\nRuns one benchmark task and exits. Tasks:\n";
    for (const Task &t : kTasks)
        std::cerr << "  " << t.name << " " << t.usage << "\n";
    return 2;
}

}  // namespace

int main(int argc, char **argv)
{
    // The library traces at debug level; a benchmark pays for warnings only.
    setenv("QT_LOGGING_RULES", "*.debug=false", 0);
    if (argc < 2)
        return usage();
    const std::string name = argv[1];
    for (const Task &t : kTasks) {
        if (name != t.name)
            continue;
        const std::vector<std::string> args(argv + 2, argv + argc);
        if (args.size() != t.arguments)
            return usage();
        return t.run(args);
    }
    return usage();
}

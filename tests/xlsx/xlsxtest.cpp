#include "xlsx/xlsxtest.h"

#include <zip.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <stdexcept>

namespace xlsxtest {

namespace fs = std::filesystem;

fs::path fixture(const std::string& name)
{
    return fs::path(MORVANE_TESTDATA_DIR) / "export" / name;
}

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path.string());
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const fs::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

namespace {
struct Archive {
    explicit Archive(const std::string& bytes, bool headersMayDiffer = false)
    {
        zip_error_t error;
        zip_error_init(&error);
        zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
        za = zip_open_from_source(source, ZIP_RDONLY | (headersMayDiffer ? 0 : ZIP_CHECKCONS), &error);
        if (!za) {
            zip_source_free(source);
            throw std::runtime_error(std::string("not a zip: ") + zip_error_strerror(&error));
        }
    }
    ~Archive() { zip_discard(za); }
    std::string read(zip_uint64_t index, zip_flags_t flags) const
    {
        zip_file_t* file = zip_fopen_index(za, index, flags);
        if (!file)
            throw std::runtime_error("cannot open entry");
        std::string out;
        char buffer[65536];
        zip_int64_t n;
        while ((n = zip_fread(file, buffer, sizeof buffer)) > 0)
            out.append(buffer, static_cast<std::size_t>(n));
        zip_fclose(file);
        if (n < 0)
            throw std::runtime_error("cannot read entry");
        return out;
    }
    zip_t* za;
};

std::string lower(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}
} // namespace

std::map<std::string, Entry> entries(const std::string& archive, bool headersMayDiffer)
{
    Archive a(archive, headersMayDiffer);
    std::map<std::string, Entry> out;
    const zip_int64_t count = zip_get_num_entries(a.za, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t st;
        zip_stat_index(a.za, static_cast<zip_uint64_t>(i), 0, &st);
        Entry e;
        e.crc = st.crc;
        e.method = st.comp_method;
        e.raw = a.read(static_cast<zip_uint64_t>(i), ZIP_FL_COMPRESSED);
        out.emplace(st.name, std::move(e));
    }
    return out;
}

std::string part(const std::string& archive, const std::string& name)
{
    Archive a(archive);
    const zip_int64_t index = zip_name_locate(a.za, name.c_str(), 0);
    if (index < 0)
        throw std::runtime_error("no part " + name);
    return a.read(static_cast<zip_uint64_t>(index), 0);
}

std::string makeZip(const std::vector<std::pair<std::string, std::string>>& parts)
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(nullptr, 0, 0, &error);
    zip_t* za = zip_open_from_source(source, ZIP_TRUNCATE, &error);
    zip_source_keep(source);
    for (const auto& [name, data] : parts)
        zip_file_add(za, name.c_str(), zip_source_buffer(za, data.data(), data.size(), 0), 0);
    if (zip_close(za) != 0)
        throw std::runtime_error("cannot build zip");
    std::string out;
    zip_source_open(source);
    char buffer[65536];
    zip_int64_t n;
    while ((n = zip_source_read(source, buffer, sizeof buffer)) > 0)
        out.append(buffer, static_cast<std::size_t>(n));
    zip_source_close(source);
    zip_source_free(source);
    return out;
}

std::string withPart(const std::string& archive, const std::string& name, const std::string& content)
{
    std::vector<std::pair<std::string, std::string>> parts;
    bool replaced = false;
    for (const auto& [entry, data] : entries(archive)) {
        replaced |= entry == name;
        parts.emplace_back(entry, entry == name ? content : part(archive, entry));
    }
    if (!replaced)
        parts.emplace_back(name, content);
    return makeZip(parts);
}

std::string local(pugi::xml_node node)
{
    const std::string name = node.name();
    const auto colon = name.find(':');
    return colon == std::string::npos ? name : name.substr(colon + 1);
}

std::vector<pugi::xml_node> childrenNamed(pugi::xml_node parent, const std::string& localName)
{
    std::vector<pugi::xml_node> out;
    for (pugi::xml_node n : parent.children())
        if (n.type() == pugi::node_element && local(n) == localName)
            out.push_back(n);
    return out;
}

namespace {

const std::vector<std::string> worksheetOrder = {"sheetPr",
                                                 "dimension",
                                                 "sheetViews",
                                                 "sheetFormatPr",
                                                 "cols",
                                                 "sheetData",
                                                 "sheetCalcPr",
                                                 "sheetProtection",
                                                 "protectedRanges",
                                                 "scenarios",
                                                 "autoFilter",
                                                 "sortState",
                                                 "dataConsolidate",
                                                 "customSheetViews",
                                                 "mergeCells",
                                                 "phoneticPr",
                                                 "conditionalFormatting",
                                                 "dataValidations",
                                                 "hyperlinks",
                                                 "printOptions",
                                                 "pageMargins",
                                                 "pageSetup",
                                                 "headerFooter",
                                                 "rowBreaks",
                                                 "colBreaks",
                                                 "customProperties",
                                                 "cellWatches",
                                                 "ignoredErrors",
                                                 "smartTags",
                                                 "drawing",
                                                 "legacyDrawing",
                                                 "legacyDrawingHF",
                                                 "picture",
                                                 "oleObjects",
                                                 "controls",
                                                 "webPublishItems",
                                                 "tableParts",
                                                 "extLst"};
const std::vector<std::string> workbookOrder = {"fileVersion",    "fileSharing",
                                                "workbookPr",     "workbookProtection",
                                                "bookViews",      "sheets",
                                                "functionGroups", "externalReferences",
                                                "definedNames",   "calcPr",
                                                "oleSize",        "customWorkbookViews",
                                                "pivotCaches",    "smartTagPr",
                                                "smartTagTypes",  "webPublishing",
                                                "fileRecoveryPr", "webPublishObjects",
                                                "extLst"};
const std::vector<std::string> styleOrder = {"numFmts",    "fonts", "fills",       "borders", "cellStyleXfs", "cellXfs",
                                             "cellStyles", "dxfs",  "tableStyles", "colors",  "extLst"};
constexpr const char* mainNs = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";

std::string nsOf(pugi::xml_node node)
{
    const std::string name = node.name();
    const auto colon = name.find(':');
    const std::string attribute = colon == std::string::npos ? "xmlns" : "xmlns:" + name.substr(0, colon);
    for (pugi::xml_node n = node; n; n = n.parent())
        if (pugi::xml_attribute a = n.attribute(attribute.c_str()))
            return a.value();
    return {};
}

void checkOrder(pugi::xml_node root, const std::vector<std::string>& order, const std::string& part,
                std::vector<std::string>& problems)
{
    std::size_t last = 0;
    for (pugi::xml_node n : root.children()) {
        if (n.type() != pugi::node_element || nsOf(n) != mainNs)
            continue;
        const auto it = std::find(order.begin(), order.end(), local(n));
        if (it == order.end()) {
            problems.push_back(part + ": unknown element " + local(n));
            continue;
        }
        const auto rank = static_cast<std::size_t>(it - order.begin());
        if (rank < last)
            problems.push_back(part + ": " + local(n) + " out of order");
        last = rank;
    }
}

std::string resolve(const std::string& folder, std::string target)
{
    std::string path = target[0] == '/' ? target.substr(1) : folder + target;
    std::vector<std::string> segments;
    std::stringstream s(path);
    std::string segment;
    while (std::getline(s, segment, '/')) {
        if (segment == "..")
            segments.pop_back();
        else if (!segment.empty() && segment != ".")
            segments.push_back(segment);
    }
    std::string out;
    for (const auto& seg : segments)
        out += (out.empty() ? "" : "/") + seg;
    return out;
}

// Column number of a cell reference such as "AB12".
std::pair<long, long> cellPosition(const std::string& ref)
{
    long col = 0;
    std::size_t i = 0;
    for (; i < ref.size() && std::isalpha(static_cast<unsigned char>(ref[i])); ++i)
        col = col * 26 + (ref[i] - 'A' + 1);
    return {std::stol(ref.substr(i)), col};
}

} // namespace

std::vector<std::string> structuralProblems(const std::string& archive)
{
    std::vector<std::string> problems;
    const auto all = entries(archive);
    std::map<std::string, pugi::xml_document> docs;
    std::set<std::string> folded;
    for (const auto& [name, entry] : all) {
        if (!folded.insert(lower(name)).second)
            problems.push_back("duplicate part name " + name);
        const auto dot = name.rfind('.');
        const std::string ext = dot == std::string::npos ? "" : lower(name.substr(dot + 1));
        if (ext != "xml" && ext != "rels")
            continue;
        const std::string text = part(archive, name);
        const unsigned flags = pugi::parse_default | pugi::parse_doctype | pugi::parse_declaration;
        if (!docs[name].load_buffer(text.data(), text.size(), flags))
            problems.push_back(name + " is not well-formed");
        for (pugi::xml_node n : docs[name].children())
            if (n.type() == pugi::node_doctype)
                problems.push_back(name + " has a DOCTYPE");
    }

    // Every part has a content type.
    const pugi::xml_node types = docs["[Content_Types].xml"].document_element();
    std::map<std::string, std::string> overrides, defaults;
    for (pugi::xml_node n : types.children()) {
        if (local(n) == "Override")
            overrides[lower(n.attribute("PartName").value())] = n.attribute("ContentType").value();
        else if (local(n) == "Default")
            defaults[lower(n.attribute("Extension").value())] = n.attribute("ContentType").value();
    }
    const auto contentType = [&](const std::string& name) -> std::string {
        if (auto it = overrides.find(lower("/" + name)); it != overrides.end())
            return it->second;
        const auto dot = name.rfind('.');
        if (auto it = defaults.find(lower(name.substr(dot + 1))); dot != std::string::npos && it != defaults.end())
            return it->second;
        return {};
    };
    for (const auto& [name, entry] : all)
        if (name != "[Content_Types].xml" && name.back() != '/' && contentType(name).empty())
            problems.push_back(name + " has no content type");
    // Readers that find the shared strings by content type take the first such part.
    if (std::count_if(overrides.begin(), overrides.end(),
                      [](const auto& o) { return o.second.ends_with("spreadsheetml.sharedStrings+xml"); }) > 1)
        problems.push_back("two parts have the content type of shared strings");

    // The workbook, its sheets and their relationships.
    std::string workbookPart;
    for (pugi::xml_node n : docs["_rels/.rels"].document_element().children())
        if (std::string(n.attribute("Type").value()).ends_with("/officeDocument"))
            workbookPart = resolve("", n.attribute("Target").value());
    const std::string folder = workbookPart.substr(0, workbookPart.rfind('/') + 1);
    const std::string relsPart = folder + "_rels/" + workbookPart.substr(folder.size()) + ".rels";
    pugi::xml_node workbook = docs[workbookPart].document_element();
    checkOrder(workbook, workbookOrder, workbookPart, problems);
    std::map<std::string, std::pair<std::string, std::string>> rels; // id -> type, part
    for (pugi::xml_node n : docs[relsPart].document_element().children()) {
        const std::string id = n.attribute("Id").value();
        if (rels.count(id))
            problems.push_back("relationship id " + id + " twice");
        const std::string target = resolve(folder, n.attribute("Target").value());
        rels[id] = {n.attribute("Type").value(), target};
        if (std::string(n.attribute("TargetMode").value()) != "External" && !all.count(target))
            problems.push_back("relationship " + id + " names the missing part " + target);
    }
    long activeTab = 0;
    for (pugi::xml_node views : childrenNamed(workbook, "bookViews"))
        for (pugi::xml_node view : childrenNamed(views, "workbookView")) {
            activeTab = view.attribute("activeTab").as_int(0);
            break;
        }
    std::set<std::string> sheetIds, names;
    int selected = 0, position = 0;
    bool activeSelected = false;
    for (pugi::xml_node sheets : childrenNamed(workbook, "sheets")) {
        for (pugi::xml_node sheet : childrenNamed(sheets, "sheet")) {
            if (!sheetIds.insert(sheet.attribute("sheetId").value()).second)
                problems.push_back(std::string("sheetId ") + sheet.attribute("sheetId").value() + " twice");
            if (!names.insert(lower(sheet.attribute("name").value())).second)
                problems.push_back(std::string("sheet name ") + sheet.attribute("name").value() + " twice");
            std::string relId;
            for (pugi::xml_attribute a : sheet.attributes())
                if (std::string(a.name()).ends_with(":id"))
                    relId = a.value();
            const auto rel = rels.find(relId);
            if (rel == rels.end()) {
                problems.push_back(std::string("sheet ") + sheet.attribute("name").value() + " has no relationship");
                ++position;
                continue;
            }
            const std::string& sheetPart = rel->second.second;
            const bool isWorksheet = rel->second.first.ends_with("/worksheet");
            if (isWorksheet &&
                contentType(sheetPart) != "application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml")
                problems.push_back(sheetPart + " lacks the worksheet content type");
            pugi::xml_node root = docs[sheetPart].document_element();
            for (pugi::xml_node views : childrenNamed(root, "sheetViews"))
                for (pugi::xml_node view : childrenNamed(views, "sheetView"))
                    if (std::string(view.attribute("workbookViewId").value()) == "0" &&
                        view.attribute("tabSelected").as_bool()) {
                        ++selected;
                        activeSelected |= position == activeTab;
                    }
            if (isWorksheet) {
                checkOrder(root, worksheetOrder, sheetPart, problems);
                long lastRow = 0;
                for (pugi::xml_node data : childrenNamed(root, "sheetData"))
                    for (pugi::xml_node row : childrenNamed(data, "row")) {
                        const long r = row.attribute("r").as_int();
                        if (r <= lastRow)
                            problems.push_back(sheetPart + ": row " + std::to_string(r) + " out of order");
                        lastRow = r;
                        long lastCol = 0;
                        for (pugi::xml_node c : childrenNamed(row, "c")) {
                            const auto [cr, cc] = cellPosition(c.attribute("r").value());
                            if (cr != r || cc <= lastCol)
                                problems.push_back(sheetPart + ": cell " + c.attribute("r").value() + " out of order");
                            lastCol = cc;
                        }
                    }
            }
            ++position;
        }
    }
    if (selected != 1 || !activeSelected)
        problems.push_back(std::to_string(selected) + " selected tabs; the active tab " +
                           (activeSelected ? "is" : "is not") + " among them");

    // Styles and shared strings: order and counts.
    for (const auto& [id, rel] : rels) {
        if (rel.first.ends_with("/styles")) {
            pugi::xml_node styles = docs[rel.second].document_element();
            checkOrder(styles, styleOrder, rel.second, problems);
            for (const char* list : {"numFmts", "cellXfs", "fonts", "fills", "borders", "cellStyleXfs"})
                for (pugi::xml_node n : childrenNamed(styles, list))
                    if (n.attribute("count") &&
                        n.attribute("count").as_ullong() !=
                            static_cast<unsigned long long>(std::distance(n.children().begin(), n.children().end())))
                        problems.push_back(std::string(list) + " count is wrong");
        }
        if (rel.first.ends_with("/sharedStrings")) {
            pugi::xml_node sst = docs[rel.second].document_element();
            const auto si = childrenNamed(sst, "si").size();
            if (sst.attribute("uniqueCount") && sst.attribute("uniqueCount").as_ullong() != si)
                problems.push_back("sst uniqueCount is wrong");
            unsigned long long references = 0;
            for (const auto& [otherId, other] : rels)
                if (other.first.ends_with("/worksheet"))
                    for (pugi::xml_node data : childrenNamed(docs[other.second].document_element(), "sheetData"))
                        for (pugi::xml_node row : childrenNamed(data, "row"))
                            for (pugi::xml_node c : childrenNamed(row, "c"))
                                if (std::string(c.attribute("t").value()) == "s") {
                                    ++references;
                                    const auto v = childrenNamed(c, "v");
                                    if (!v.empty() && std::stoull(v.front().child_value()) >= si)
                                        problems.push_back("shared string index past the end");
                                }
            if (sst.attribute("count") && sst.attribute("count").as_ullong() != references)
                problems.push_back("sst count " + std::string(sst.attribute("count").value()) + ", cells " +
                                   std::to_string(references));
        }
    }
    return problems;
}

bool openpyxlAvailable()
{
    return std::system("/usr/bin/python3 -c 'import openpyxl' >/dev/null 2>&1") == 0;
}

std::string openpyxlProblems(const std::string& archive, const std::string& expectations)
{
    TempDir dir;
    writeFile(dir.path / "book.xlsx", archive);
    writeFile(dir.path / "expect.txt", expectations);
    const fs::path report = dir.path / "report.txt";
    const std::string command = "/usr/bin/python3 '" + std::string(MORVANE_XLSX_TESTS_DIR) + "/check_workbook.py' '" +
                                (dir.path / "book.xlsx").string() + "' '" + (dir.path / "expect.txt").string() +
                                "' >'" + report.string() + "' 2>&1";
    const int status = std::system(command.c_str());
    const std::string text = readFile(report);
    return status == 0 ? std::string() : (text.empty() ? "checker failed" : text);
}

TempDir::TempDir()
{
    std::random_device random;
    path = fs::temp_directory_path() / ("morvane-export-" + std::to_string(random()) + std::to_string(random()));
    fs::create_directories(path);
}

TempDir::~TempDir()
{
    std::error_code ignored;
    fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path, ignored);
}

std::vector<std::string> TempDir::files() const
{
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(path))
        out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace xlsxtest

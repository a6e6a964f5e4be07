// The editors' descriptions in share/ (Kdenlive's effect and composition
// XML, Shotcut's filter QML) against the plug-ins they describe: the same
// parameters by name, the same ranges, the same entries, the same defaults.
// scripts/editor-descriptions writes them; a plug-in changed without running
// it fails here.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "frei0r_host.h"

using frei0rtest::Plugin;

namespace {

const char* const kFilters[] = {"matte", "smudge", "heatwave", "drunken",
                                "standbild", "tunnel", "swivel", "widescreen"};
const char* const kTransitions[] = {"flicker", "iris", "burrow", "telescope", "glide"};
// Set by the editors themselves (in, out) or for hosts without a span.
const std::set<std::string> kHidden = {"in", "out", "Length"};

std::string slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// What a plug-in says of one parameter.
struct Described {
    int type;
    double defaultValue = 0.0;
    std::vector<std::string> entries;  // a choice's
    bool slider = false;
    double minimum = 0.0, maximum = 1.0;  // a slider's, in its unit
    double base = 0.0;                    // the unit's value at 0
    std::string unit;
};

std::vector<std::string> split(const std::string& text, const std::string& by) {
    std::vector<std::string> out;
    std::size_t at = 0;
    for (std::size_t next; (next = text.find(by, at)) != std::string::npos; at = next + by.size())
        out.push_back(text.substr(at, next - at));
    out.push_back(text.substr(at));
    return out;
}

std::map<std::string, Described> describe(const std::string& name) {
    Plugin p(name);
    EXPECT_NE(p.handle, nullptr) << name;
    std::map<std::string, Described> out;
    if (p.handle == nullptr) return out;
    f0r_plugin_info_t info{};
    p.info(&info);
    void* inst = p.construct(720, 576);
    const std::regex choice("one of (\\d+) entries, 0\\.\\.1 in steps of 1/\\d+: (.*)$");
    const std::regex slider("(?:; |^)(?:([^;]*?), )?(-?[0-9.e+]+)\\.\\.(-?[0-9.e+]+)"
                            "(?: as 0\\.\\.1| \\(0\\.\\.1 as (-?[0-9.e+]+)\\.\\.)");
    for (int k = 0; k < info.num_params; ++k) {
        f0r_param_info_t pi{};
        p.paramInfo(&pi, k);
        Described d{pi.type};
        if (pi.type == F0R_PARAM_DOUBLE) p.get(inst, &d.defaultValue, k);
        const std::string text = pi.explanation;
        std::smatch m;
        if (std::regex_search(text, m, choice)) {
            d.entries = split(m[2], ", ");
            EXPECT_EQ(d.entries.size(), std::stoul(m[1])) << name << " " << pi.name;
        } else if (std::regex_search(text, m, slider)) {
            d.slider = true;
            d.unit = m[1];
            d.minimum = std::stod(m[2]);
            d.maximum = std::stod(m[3]);
            d.base = m[4].matched ? std::stod(m[4]) : d.minimum;
            if (d.unit == "tenths of a degree") {  // the editors show degrees
                d.minimum /= 10;
                d.maximum /= 10;
                d.base /= 10;
                d.unit = "°";
            }
        }
        out[pi.name] = d;
    }
    p.destruct(inst);
    return out;
}

// As scripts/editor-descriptions writes numbers: integers without a point.
std::string number(double v) {
    char b[32];
    std::snprintf(b, sizeof b, v == std::floor(v) ? "%.0f" : "%.17g", v);
    return b;
}

std::string attribute(const std::string& element, const std::string& name) {
    std::smatch m;
    const std::regex re(" " + name + "=\"([^\"]*)\"");
    return std::regex_search(element, m, re) ? std::string(m[1]) : std::string("(none)");
}

std::string unescape(std::string s) {
    for (const auto& [from, to] : {std::pair{"&#x27;", "'"}, std::pair{"&quot;", "\""},
                                   std::pair{"&lt;", "<"}, std::pair{"&gt;", ">"},
                                   std::pair{"&amp;", "&"}})
        for (std::size_t at; (at = s.find(from)) != std::string::npos;)
            s.replace(at, std::string(from).size(), to);
    return s;
}

void checkKdenlive(const std::string& name, bool transition) {
    SCOPED_TRACE(name);
    const std::string file = std::string(FIELDFX_TEST_SOURCE_DIR) + "/share/kdenlive/" +
                             (transition ? "transitions" : "effects") + "/fieldfx_" + name + ".xml";
    const std::string xml = slurp(file);
    ASSERT_FALSE(xml.empty()) << file;
    EXPECT_NE(xml.find(std::string("<") + (transition ? "transition" : "effect") +
                       " tag=\"frei0r.fieldfx-" + name + "\""),
              std::string::npos);
    const auto params = describe(name);
    std::set<std::string> seen;
    const std::regex parameter("<parameter ([^>]*)>([\\s\\S]*?)</parameter>");
    for (auto it = std::sregex_iterator(xml.begin(), xml.end(), parameter);
         it != std::sregex_iterator(); ++it) {
        const std::string head = " " + (*it)[1].str(), body = (*it)[2];
        const std::string pname = unescape(attribute(head, "name")), type = attribute(head, "type");
        SCOPED_TRACE(pname);
        seen.insert(pname);
        ASSERT_TRUE(params.count(pname)) << "the plug-in has no parameter " << pname;
        const Described& d = params.at(pname);
        if (type == "color") {
            EXPECT_EQ(d.type, F0R_PARAM_COLOR);
            continue;
        }
        ASSERT_EQ(d.type, F0R_PARAM_DOUBLE);
        if (pname == "Progress") {
            EXPECT_EQ(attribute(head, "default"), "0=0;-1=1");
            continue;
        }
        EXPECT_DOUBLE_EQ(std::stod(attribute(head, "default")), d.defaultValue);
        if (type == "list") {
            std::smatch m;
            ASSERT_TRUE(std::regex_search(body, m, std::regex("<paramlistdisplay>(.*)</paramlistdisplay>")));
            EXPECT_EQ(split(unescape(m[1]), ","), d.entries);
            const auto values = split(attribute(head, "paramlist"), ";");
            ASSERT_EQ(values.size(), d.entries.size());
            for (std::size_t i = 0; i < values.size(); ++i)
                EXPECT_NEAR(std::stod(values[i]), double(i) / (values.size() - 1), 1e-9);
            continue;
        }
        EXPECT_EQ(type, "animated");
        const double lo = std::stod(attribute(head, "min")), hi = std::stod(attribute(head, "max"));
        const double factor = std::stod(attribute(head, "factor"));
        const std::string offset = attribute(head, "offset");
        if (d.slider) {
            EXPECT_EQ(lo, d.minimum);
            EXPECT_EQ(hi, d.maximum);
            EXPECT_EQ(factor, d.maximum - d.base);
            EXPECT_EQ(d.base == 0.0 ? 0.0 : std::stod(offset), d.base);
        } else {  // a fraction, shown in percent
            EXPECT_EQ(lo, 0.0);
            EXPECT_EQ(hi, 100.0);
            EXPECT_EQ(factor, 100.0);
        }
    }
    for (const auto& [pname, d] : params)
        if (!kHidden.count(pname)) EXPECT_TRUE(seen.count(pname)) << pname << " is not described";
}

}  // namespace

TEST(EditorDescriptions, KdenliveDescribesEveryPluginAsItIs) {
    for (const char* name : kFilters) checkKdenlive(name, false);
    for (const char* name : kTransitions) checkKdenlive(name, true);
}

TEST(EditorDescriptions, ShotcutShowsEveryFilterAsItIs) {
    const std::regex set("filter\\.set\\('((?:[^'\\\\]|\\\\.)*)', ([^)]*)\\)");
    const std::regex combo("model: \\[([^\\]]*)\\]; onActivated: filter\\.set\\('([^']*)'");
    const std::regex spinner("minimumValue: (-?[0-9.e+]+); maximumValue: (-?[0-9.e+]+);[^\\n]*"
                             "filter\\.set\\('([^']*)'");
    for (const char* name : kFilters) {
        SCOPED_TRACE(name);
        const std::string dir = std::string(FIELDFX_TEST_SOURCE_DIR) +
                                "/share/shotcut/qml/filters/fieldfx_" + name + "/";
        const std::string meta = slurp(dir + "meta.qml"), ui = slurp(dir + "ui.qml");
        EXPECT_NE(meta.find("mlt_service: 'frei0r.fieldfx-" + std::string(name) + "'"),
                  std::string::npos);
        EXPECT_NE(meta.find("qml: 'ui.qml'"), std::string::npos);
        EXPECT_NE(meta.find("type: Metadata.Filter"), std::string::npos);
        const auto params = describe(name);
        std::set<std::string> seen;
        for (auto it = std::sregex_iterator(ui.begin(), ui.end(), set); it != std::sregex_iterator(); ++it) {
            const std::string pname = (*it)[1];
            seen.insert(pname);
            EXPECT_TRUE(params.count(pname)) << "the plug-in has no parameter " << pname;
        }
        for (const auto& [pname, d] : params)
            if (!kHidden.count(pname)) EXPECT_TRUE(seen.count(pname)) << pname << " is not shown";
        for (auto it = std::sregex_iterator(ui.begin(), ui.end(), combo); it != std::sregex_iterator(); ++it) {
            std::vector<std::string> entries;
            for (const std::string& e : split((*it)[1], ", ")) entries.push_back(e.substr(1, e.size() - 2));
            ASSERT_TRUE(params.count((*it)[2]));
            EXPECT_EQ(entries, params.at((*it)[2]).entries) << (*it)[2];
        }
        for (auto it = std::sregex_iterator(ui.begin(), ui.end(), spinner); it != std::sregex_iterator(); ++it) {
            ASSERT_TRUE(params.count((*it)[3]));
            const Described& d = params.at((*it)[3]);
            EXPECT_EQ(std::stod((*it)[1]), d.slider ? d.minimum : 0.0) << (*it)[3];
            EXPECT_NE(ui.find("filter.set('" + (*it)[3].str() + "', (value - " +
                              number(d.slider ? d.base : 0.0) + ") / " +
                              number(d.slider ? d.maximum - d.base : 100.0) + ")"),
                      std::string::npos) << (*it)[3];
            EXPECT_EQ(std::stod((*it)[2]), d.slider ? d.maximum : 100.0) << (*it)[3];
        }
    }
}

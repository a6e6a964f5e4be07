// The studio server's guard, the field cache's budget and the table of open
// pages: requests that do not come from the server's own page never reach
// the backend, whatever their body; what the backend refuses is an error for
// the page, and the server stays up.
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>
#include <httplib.h>

#include "fieldfx/studio/clip_root.h"
#include "fieldfx/studio/field_cache.h"
#include "fieldfx/studio/server.h"
#include "fieldfx/studio/session_table.h"

namespace fieldfx::studio {
namespace {

TEST(StudioHost, OnlyTheServersOwnNames) {
    EXPECT_TRUE(hostAllowed("127.0.0.1:8080", "127.0.0.1", 8080));
    EXPECT_TRUE(hostAllowed("localhost:8080", "127.0.0.1", 8080));
    EXPECT_TRUE(hostAllowed("[::1]:8080", "127.0.0.1", 8080));
    EXPECT_FALSE(hostAllowed("127.0.0.1:8081", "127.0.0.1", 8080));
    EXPECT_FALSE(hostAllowed("127.0.0.1", "127.0.0.1", 8080));
    EXPECT_FALSE(hostAllowed("", "127.0.0.1", 8080));
    EXPECT_FALSE(hostAllowed("attacker.example:8080", "127.0.0.1", 8080));
    EXPECT_FALSE(hostAllowed("localhost.attacker.example:8080", "127.0.0.1", 8080));
    EXPECT_FALSE(hostAllowed("127.0.0.1:8080.attacker.example", "127.0.0.1", 8080));
    // Listening elsewhere: that address only.
    EXPECT_TRUE(hostAllowed("192.168.1.5:9000", "192.168.1.5", 9000));
    EXPECT_FALSE(hostAllowed("localhost:9000", "192.168.1.5", 9000));
    EXPECT_TRUE(hostAllowed("[fd00::5]:9000", "fd00::5", 9000));
}

TEST(StudioToken, RandomHexOfThirtyTwoDigits) {
    const std::string a = randomToken(), b = randomToken();
    EXPECT_EQ(a.size(), 32u);
    EXPECT_EQ(a.find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_NE(a, b);
}

std::shared_ptr<const io::Field> field(int32_t width) {
    return std::make_shared<io::Field>(width, 1);  // width * 4 bytes
}

// A folder for --root with a clip in a sub-folder, a link to it inside, and
// links that lead out: to a file and to a folder outside, and up the tree.
class StudioClipRoot : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/fieldfx-root-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        base_ = pattern;
        namespace fs = std::filesystem;
        fs::create_directories(base_ / "root/sub/deeper");
        fs::create_directories(base_ / "outside");
        std::ofstream(base_ / "root/sub/clip.pam") << "P7";
        std::ofstream(base_ / "root/.hidden.pam") << "P7";
        std::ofstream(base_ / "outside/secret.pam") << "P7";
        fs::create_symlink("sub/clip.pam", base_ / "root/inner.pam");
        fs::create_symlink(base_ / "outside/secret.pam", base_ / "root/secret.pam");
        fs::create_symlink(base_ / "outside", base_ / "root/away");
        fs::create_symlink("..", base_ / "root/sub/up");
        root_ = (base_ / "root").string();
    }
    void TearDown() override { std::filesystem::remove_all(base_); }

    // The status of the RequestError `f` throws, or 0.
    template <typename F>
    static int refusal(F f) {
        try {
            f();
        } catch (const RequestError& e) {
            return e.status();
        }
        return 0;
    }

    std::filesystem::path base_;
    std::string root_;
};

TEST_F(StudioClipRoot, ListsAndResolvesWhatLiesInside) {
    const ClipRoot root(root_);
    const auto top = root.list("");
    ASSERT_EQ(top.size(), 2u);  // no hidden name, nothing that leads out
    EXPECT_EQ(top[0].name, "sub");
    EXPECT_TRUE(top[0].folder);
    EXPECT_EQ(top[1].name, "inner.pam");
    EXPECT_FALSE(top[1].folder);
    const auto sub = root.list("sub");
    ASSERT_EQ(sub.size(), 3u);  // "up" leads to the root itself: inside, a folder
    EXPECT_EQ(sub[0].name, "deeper");
    EXPECT_EQ(sub[1].name, "up");
    EXPECT_EQ(sub[2].name, "clip.pam");
    const std::string real = std::filesystem::canonical(base_ / "root/sub/clip.pam").string();
    EXPECT_EQ(root.resolve("sub/clip.pam"), real);
    EXPECT_EQ(root.resolve("inner.pam"), real);  // a link that stays inside
    EXPECT_EQ(root.resolve("sub/up/sub/clip.pam"), real);
    EXPECT_EQ(root.resolve(".hidden.pam"), std::filesystem::canonical(base_ / "root/.hidden.pam").string());
}

TEST_F(StudioClipRoot, RefusesEveryWayOut) {
    const ClipRoot root(root_);
    const std::string outside = (base_ / "outside/secret.pam").string();
    for (const std::string& path :
         {std::string("../outside/secret.pam"), std::string("sub/../../outside/secret.pam"), outside,
          std::string("/etc/passwd"), std::string("secret.pam"), std::string("away/secret.pam"),
          std::string("sub/up/../outside/secret.pam"), std::string("sub//clip.pam"),
          std::string("./sub/clip.pam"), std::string("sub/clip.pam/"), std::string(""),
          std::string("sub/\nclip.pam"), std::string(5000, 'a')}) {
        EXPECT_EQ(refusal([&] { root.resolve(path); }), 403) << path;
    }
    for (const std::string& dir : {std::string(".."), std::string("away"), std::string("/"),
                                   std::string("sub/.."), std::string("sub/up/..")})
        EXPECT_EQ(refusal([&] { root.list(dir); }), 403) << dir;
    // Inside, but not there or not of the kind asked for.
    EXPECT_EQ(refusal([&] { root.resolve("sub/none.pam"); }), 404);
    EXPECT_EQ(refusal([&] { root.resolve("sub"); }), 404);
    EXPECT_EQ(refusal([&] { root.list("inner.pam"); }), 404);
    EXPECT_THROW(ClipRoot((base_ / "root/sub/clip.pam").string()), std::runtime_error);
    EXPECT_THROW(ClipRoot((base_ / "none").string()), std::runtime_error);
}

TEST(StudioFieldCache, KeepsWithinItsBudgetDroppingTheLeastRecentlyUsed) {
    FieldCache cache(4000);
    for (std::size_t i = 0; i < 3; ++i) cache.insert({0, i}, field(300));  // 1200 bytes each
    EXPECT_EQ(cache.bytes(), 3600u);
    ASSERT_NE(cache.find({0, 0}), nullptr);  // field 0 is now the most recent
    cache.insert({1, 7}, field(300));
    EXPECT_EQ(cache.size(), 3u);
    EXPECT_EQ(cache.bytes(), 3600u);
    EXPECT_EQ(cache.find({0, 1}), nullptr);  // the least recently used went
    EXPECT_NE(cache.find({0, 0}), nullptr);
    EXPECT_NE(cache.find({0, 2}), nullptr);
    EXPECT_NE(cache.find({1, 7}), nullptr);
    // The same key again replaces, counted once.
    cache.insert({1, 7}, field(100));
    EXPECT_EQ(cache.bytes(), 2800u);
    // A field larger than the budget stays alone; a field a caller holds
    // lives on after it is dropped.
    const auto held = cache.find({0, 0});
    cache.insert({2, 0}, field(2000));
    EXPECT_EQ(cache.size(), 1u);
    EXPECT_EQ(cache.bytes(), 8000u);
    EXPECT_EQ(held->pixels.size(), 1200u);
}

// A page first seen when the table is full must get a live session whatever
// its id: "0" sorts before every other id, where the search for the oldest
// starts.
TEST(StudioSessions, ANewPageTakesThePlaceOfTheOneUsedLongestAgo) {
    SessionTable<std::string> table(3);
    *table.get("a") = "a";
    *table.get("b") = "b";
    *table.get("c") = "c";
    const std::shared_ptr<std::string> b = table.get("b");  // a call still answering
    table.get("a");
    table.get("c");  // "b" again the oldest
    const std::shared_ptr<std::string> fresh = table.get("0");
    *fresh = "0";
    EXPECT_EQ(table.size(), 3u);
    EXPECT_EQ(*table.get("0"), "0");
    EXPECT_EQ(*table.get("a"), "a");
    EXPECT_EQ(*table.get("c"), "c");
    // "b" went: its id now starts afresh, while its old session lives on
    // with the call that holds it.
    EXPECT_EQ(*table.get("b"), "");
    EXPECT_EQ(*b, "b");
    EXPECT_EQ(table.size(), 3u);
}

class CountingBackend : public Backend {
public:
    std::atomic<int> calls{0};
    Reply handle(const std::string& call, const nlohmann::json& request) override {
        ++calls;
        if (call == "echo") return Reply::json(request);
        if (call == "bad") throw RequestError(400, "bad value: " + request.value("v", ""));
        if (call == "crash") throw std::runtime_error("broken");
        throw RequestError(404, "no such call");
    }
};

class StudioServer : public ::testing::Test {
protected:
    void SetUp() override {
        ServerOptions options;
        options.token = "0123456789abcdef0123456789abcdef";
        options.maxBody = 1000;
        server = std::make_unique<Server>(backend, options);
        port = server->bind();
        thread = std::thread([this] { server->run(); });
        client = std::make_unique<httplib::Client>("127.0.0.1", port);
        host = "127.0.0.1:" + std::to_string(port);
    }
    void TearDown() override {
        server->stop();
        thread.join();
    }
    httplib::Result post(const std::string& call, const std::string& body,
                         httplib::Headers headers = {}) {
        if (!headers.count("Host")) headers.emplace("Host", host);
        if (!headers.count("X-Studio-Token")) headers.emplace("X-Studio-Token", server->token());
        return client->Post(("/api/" + call).c_str(), headers, body, "application/json");
    }
    int get(const std::string& path, httplib::Headers headers = {}) {
        if (!headers.count("Host")) headers.emplace("Host", host);
        auto r = client->Get(path.c_str(), headers);
        return r ? r->status : -1;
    }

    CountingBackend backend;
    std::unique_ptr<Server> server;
    std::thread thread;
    std::unique_ptr<httplib::Client> client;
    int port = 0;
    std::string host;
};

TEST_F(StudioServer, ServesItsPageAndApiToItsOwnPage) {
    EXPECT_EQ(get("/?token=" + server->token()), 200);
    EXPECT_EQ(get("/studio.js?token=" + server->token()), 200);
    auto r = post("echo", R"({"a":[1,2]})", {{"Origin", "http://localhost:" + std::to_string(port)}});
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200);
    EXPECT_EQ(r->body, R"({"a":[1,2]})");
    EXPECT_EQ(r->get_header_value("Cache-Control"), "no-store");
    EXPECT_EQ(server->url(), "http://127.0.0.1:" + std::to_string(port) + "/?token=" + server->token());
    // The page carries the token into the addresses of its own files.
    auto page = client->Get(("/?token=" + server->token()).c_str(), {{"Host", host}});
    ASSERT_TRUE(page);
    EXPECT_NE(page->body.find("studio.js?token=" + server->token()), std::string::npos);
    EXPECT_EQ(page->body.find("__TOKEN__"), std::string::npos);
}

TEST_F(StudioServer, RefusesWhatIsNotItsOwnPageBeforeTheBackend) {
    const std::string wrong = "0123456789abcdef0123456789abcdee";
    const httplib::Headers refused[] = {
        {{"Host", "attacker.example:" + std::to_string(port)}},
        {{"Host", "127.0.0.1:" + std::to_string(port + 1)}},
        {{"Origin", "http://attacker.example"}},
        {{"Origin", "null"}},
        {{"Origin", "https://127.0.0.1:" + std::to_string(port)}},
        {{"Sec-Fetch-Site", "cross-site"}},
        {{"X-Studio-Token", ""}},
        {{"X-Studio-Token", wrong}},
        {{"X-Studio-Token", server->token() + "0"}},
    };
    for (const httplib::Headers& h : refused) {
        auto r = post("echo", "{}", h);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, 403) << h.begin()->first << ": " << h.begin()->second;
    }
    EXPECT_EQ(get("/"), 403);
    EXPECT_EQ(get("/?token=" + wrong), 403);
    EXPECT_EQ(get("/?token=" + server->token(), {{"Host", "attacker.example"}}), 403);
    // Only the page's own names, never a file of the disk.
    for (const char* path : {"/../../etc/passwd", "/%2e%2e/%2e%2e/etc/passwd", "/etc/passwd",
                             "/studio.js/../../../etc/passwd", "/index.html", "/page/studio.js",
                             "//etc/passwd", "/studio.css%00.js"})
        EXPECT_EQ(get(std::string(path) + "?token=" + server->token()), 404) << path;
    // GET of the API, or a body that is not JSON.
    EXPECT_EQ(get("/api/echo?token=" + server->token(), {{"X-Studio-Token", server->token()}}), 400);
    auto form = client->Post("/api/echo", {{"Host", host}, {"X-Studio-Token", server->token()}},
                             "a=1", "application/x-www-form-urlencoded");
    ASSERT_TRUE(form);
    EXPECT_EQ(form->status, 400);
    EXPECT_EQ(backend.calls, 0);
}

TEST_F(StudioServer, BadBodiesAndBackendFailuresAreErrorsAndTheServerStaysUp) {
    auto big = post("echo", "{\"a\":\"" + std::string(5000, 'x') + "\"}");
    ASSERT_TRUE(big);
    EXPECT_EQ(big->status, 413);
    for (const char* body : {"", "[", "[]", "\"x\"", "null", "1", "{\"a\":", "{\"a\":1}}", "\xff\xfe{}"}) {
        auto r = post("echo", body);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, 400) << body;
    }
    EXPECT_EQ(backend.calls, 0);
    auto bad = post("bad", R"({"v":"angle=99"})");
    ASSERT_TRUE(bad);
    EXPECT_EQ(bad->status, 400);
    EXPECT_EQ(nlohmann::json::parse(bad->body)["error"], "bad value: angle=99");
    auto typed = post("bad", R"({"v":7})");  // a value of the wrong type
    ASSERT_TRUE(typed);
    EXPECT_EQ(typed->status, 400);
    auto crash = post("crash", "{}");
    ASSERT_TRUE(crash);
    EXPECT_EQ(crash->status, 500);
    EXPECT_EQ(post("NOPE", "{}")->status, 404);  // not a call name
    EXPECT_EQ(post("echo", "{}")->status, 200);
}

}  // namespace
}  // namespace fieldfx::studio

#include "e2e_harness.h"

#include <atspi/atspi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>

namespace wrenfold::e2e {
namespace {

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty()) {
      result.push_back(line);
    }
  }
  return result;
}

std::string takeString(gchar* value) {
  std::string result = value != nullptr ? value : "";
  g_free(value);
  return result;
}

}  // namespace

std::optional<std::string> windowNamed(const std::string& pattern, std::optional<pid_t> pid) {
  std::vector<std::string> argv{"xdotool", "search", "--all", "--onlyvisible"};
  if (pid) {
    argv.insert(argv.end(), {"--pid", std::to_string(*pid)});
  }
  argv.insert(argv.end(), {"--name", pattern});  // the pattern last: xdotool reads on to its next command
  const Exit found = run(argv);
  const auto ids = lines(found.output);
  if (found.status != 0 || ids.empty()) {
    return std::nullopt;
  }
  return ids.front();
}

std::optional<WindowFrame> windowFrame(const std::string& window) {
  // xwininfo's absolute corner is the client's own; xdotool's adds the frame's offset again.
  const Exit info = run({"xwininfo", "-id", window});
  const auto at = info.output.find("Absolute upper-left X:");
  WindowFrame frame;
  if (info.status != 0 || at == std::string::npos ||
      std::sscanf(info.output.c_str() + at,
                  "Absolute upper-left X: %d Absolute upper-left Y: %d Relative upper-left X: %*d Relative "
                  "upper-left Y: %*d Width: %d Height: %d",
                  &frame.x, &frame.y, &frame.width, &frame.height) != 4) {
    return std::nullopt;
  }
  return frame;
}

std::optional<WindowFrame> workArea() {
  const Exit area = run({"xprop", "-root", "_NET_WORKAREA"});
  WindowFrame frame;
  if (area.status != 0 || std::sscanf(area.output.c_str(), "_NET_WORKAREA(CARDINAL) = %d, %d, %d, %d",
                                      &frame.x, &frame.y, &frame.width, &frame.height) != 4) {
    return std::nullopt;
  }
  return frame;
}

bool stackedAbove(const std::string& upper, const std::string& lower) {
  // "_NET_CLIENT_LIST_STACKING(WINDOW): window id # 0x200003, 0x40000a", bottom to top.
  const Exit stacking = run({"xprop", "-root", "_NET_CLIENT_LIST_STACKING"});
  std::vector<unsigned long> order;
  const auto hash = stacking.output.find('#');
  if (stacking.status != 0 || hash == std::string::npos) {
    return false;
  }
  std::istringstream ids(stacking.output.substr(hash + 1));
  for (std::string id; std::getline(ids, id, ',');) {
    order.push_back(std::stoul(id, nullptr, 16));
  }
  const auto position = [&](const std::string& window) {
    return std::find(order.begin(), order.end(), std::stoul(window)) - order.begin();
  };
  const auto up = position(upper);
  const auto low = position(lower);
  return up < static_cast<std::ptrdiff_t>(order.size()) && low < static_cast<std::ptrdiff_t>(order.size()) &&
         up > low;
}

std::optional<std::string> clipboard(const std::string& target) {
  const Exit read = run({"xclip", "-selection", "clipboard", "-o", "-t", target});
  if (read.status != 0) {
    return std::nullopt;
  }
  return read.output;
}

struct ModelService::Arrivals {
  std::mutex mutex;
  std::vector<std::chrono::steady_clock::time_point> times;
  std::chrono::milliseconds delay{0};
};

ModelService::ModelService(std::vector<std::string> candidates, std::chrono::milliseconds delay)
    : arrivals_(std::make_shared<Arrivals>()) {
  setDelay(delay);
  server_.setHandler([candidates = std::move(candidates),
                      arrivals = arrivals_](const testing::RecordedRequest& request) {
    std::chrono::milliseconds wait{0};
    {
      const std::scoped_lock lock(arrivals->mutex);
      arrivals->times.push_back(std::chrono::steady_clock::now());
      wait = arrivals->delay;
    }
    // Like a server of one's own started with a key: a request without one is refused.
    if (!request.header("Authorization")) {
      return testing::CannedResponse::json(401, R"({"error":{"message":"Missing API key"}})");
    }
    std::vector<std::string> pieces;  // the reply text, cut after each candidate
    for (std::size_t i = 0; i < candidates.size(); ++i) {
      const json::OrderedJson item{{"text", candidates[i]}, {"title", "候选"}, {"confidence", 0.9}};
      pieces.push_back((i == 0 ? R"({"candidates":[)" : ",") + item.dump() +
                       (i + 1 == candidates.size() ? "]}" : ""));
    }
    const auto body = json::parse(request.body);
    if (body && body->value("stream", false)) {
      // Written over the same delay: each candidate after its share of it, the last at its end.
      std::vector<std::string> events;
      for (const auto& piece : pieces) {
        const json::OrderedJson chunk{
            {"choices", json::OrderedJson::array({{{"index", 0}, {"delta", {{"content", piece}}}}})}};
        events.push_back("data: " + chunk.dump() + "\n\n");
      }
      auto response =
          testing::CannedResponse::events(std::move(events), wait / std::max<std::size_t>(1, pieces.size()));
      response.stream.emplace_back(0ms, "data: [DONE]\n\n");
      return response;
    }
    std::string content;
    for (const auto& piece : pieces) {
      content += piece;
    }
    const json::OrderedJson reply{
        {"id", "chatcmpl-e2e"},
        {"object", "chat.completion"},
        {"choices", json::OrderedJson::array({{{"index", 0},
                                               {"message", {{"role", "assistant"}, {"content", content}}},
                                               {"finish_reason", "stop"}}})}};
    auto response = testing::CannedResponse::json(200, reply.dump());
    response.delay = wait;
    return response;
  });
}

void ModelService::setDelay(std::chrono::milliseconds delay) {
  const std::scoped_lock lock(arrivals_->mutex);
  arrivals_->delay = delay;
}

std::vector<std::chrono::steady_clock::time_point> ModelService::arrivals() const {
  const std::scoped_lock lock(arrivals_->mutex);
  return arrivals_->times;
}

std::string ModelService::promptOf(std::size_t index) const {
  const auto all = requests();
  if (index >= all.size()) {
    return {};
  }
  const auto body = json::parse(all[index].body);
  if (!body || !body->contains("messages")) {
    return {};
  }
  std::string prompt;
  for (const auto& message : (*body)["messages"]) {
    const auto& content = message["content"];
    if (content.is_string()) {
      prompt += content.get<std::string>() + "\n";
    } else if (content.is_array()) {
      for (const auto& part : content) {
        if (part.contains("text") && part["text"].is_string()) {
          prompt += part["text"].get<std::string>() + "\n";
        }
      }
    }
  }
  return prompt;
}

namespace atspi {
namespace {

// Walks at most this many nodes: the overlay and the settings window hold far fewer.
constexpr int kMaxNodes = 4000;

// The application of `pid` on the bus (a new reference), or null.
AtspiAccessible* application(pid_t pid) {
  [[maybe_unused]] static const int initialised = atspi_init();
  AtspiAccessible* desktop = atspi_get_desktop(0);
  AtspiAccessible* found = nullptr;
  const gint count = atspi_accessible_get_child_count(desktop, nullptr);
  for (gint i = 0; i < count && found == nullptr; ++i) {
    AtspiAccessible* app = atspi_accessible_get_child_at_index(desktop, i, nullptr);
    if (app == nullptr) {
      continue;
    }
    if (static_cast<pid_t>(atspi_accessible_get_process_id(app, nullptr)) == pid) {
      found = app;
    } else {
      g_object_unref(app);
    }
  }
  g_object_unref(desktop);
  if (found != nullptr) {
    // Qt's tree changes under us (the overlay is rebuilt per phase): never trust a cached name.
    atspi_accessible_clear_cache(found);
  }
  return found;
}

// Calls `visit` with every node under `root`, depth first, until it returns true.
bool walk(AtspiAccessible* root, const std::function<bool(AtspiAccessible*)>& visit) {
  std::vector<AtspiAccessible*> stack{static_cast<AtspiAccessible*>(g_object_ref(root))};
  int visited = 0;
  bool stopped = false;
  while (!stack.empty()) {
    AtspiAccessible* node = stack.back();
    stack.pop_back();
    if (!stopped && ++visited <= kMaxNodes) {
      stopped = visit(node);
      const gint count = atspi_accessible_get_child_count(node, nullptr);
      for (gint i = count - 1; i >= 0 && !stopped; --i) {
        if (AtspiAccessible* child = atspi_accessible_get_child_at_index(node, i, nullptr)) {
          stack.push_back(child);
        }
      }
    }
    g_object_unref(node);
  }
  return stopped;
}

std::optional<WindowFrame> characterBox(AtspiText* text, gint offset) {
  AtspiRect* rect =
      offset < 0 ? nullptr : atspi_text_get_character_extents(text, offset, ATSPI_COORD_TYPE_WINDOW, nullptr);
  std::optional<WindowFrame> box;
  if (rect != nullptr && rect->width >= 0 && rect->height >= 0 && std::abs(rect->x) < 10000 &&
      std::abs(rect->y) < 10000 && (rect->x != 0 || rect->y != 0 || rect->width != 0)) {
    box = WindowFrame{rect->x, rect->y, rect->width, rect->height};
  }
  g_free(rect);
  return box;
}

// The caret's box in window coordinates; KTextEditor's has no height: the distance to another line.
std::optional<WindowFrame> caretBox(AtspiText* text) {
  const gint offset = atspi_text_get_caret_offset(text, nullptr);
  auto box = characterBox(text, offset);
  box = box ? box : characterBox(text, offset - 1);
  for (gint step = 1; box && box->height == 0 && step <= 200; ++step) {
    for (const gint at : {offset + step, offset - step}) {
      if (const auto other = characterBox(text, at); other && other->y != box->y && box->height == 0) {
        box->height = std::abs(other->y - box->y);
      }
    }
  }
  if (!box || box->height <= 0) {
    return std::nullopt;
  }
  // Where the caret's row seems the same as the line before's (Qt's plain text editors count
  // each paragraph's boxes from its own top), it lies one line height further down per line.
  const std::string all = takeString(atspi_text_get_text(text, 0, -1, nullptr));
  std::vector<gint> breaks;
  gint at = 0;
  for (const char c : all) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {  // BMP text: code points are offsets
      breaks.insert(breaks.end(), c == '\n' ? 1 : 0, at);
      ++at;
    }
  }
  const auto next = std::lower_bound(breaks.begin(), breaks.end(), offset);
  const auto above = next == breaks.begin() ? std::nullopt : characterBox(text, *std::prev(next) - 1);
  if (above && above->y == box->y) {
    box->y += static_cast<int>(next - breaks.begin()) * box->height;
  }
  return box;
}

Node describe(AtspiAccessible* node) {
  Node described;
  described.role = takeString(atspi_accessible_get_role_name(node, nullptr));
  described.name = takeString(atspi_accessible_get_name(node, nullptr));
  if (AtspiStateSet* states = atspi_accessible_get_state_set(node)) {
    described.showing = atspi_state_set_contains(states, ATSPI_STATE_SHOWING) != FALSE;
    described.focused = atspi_state_set_contains(states, ATSPI_STATE_FOCUSED) != FALSE;
    g_object_unref(states);
  }
  if (described.role == "frame" || described.role == "window" || described.role == "dialog") {
    if (AtspiComponent* component = atspi_accessible_get_component_iface(node)) {
      if (AtspiRect* rect = atspi_component_get_extents(component, ATSPI_COORD_TYPE_WINDOW, nullptr)) {
        described.windowBox = WindowFrame{rect->x, rect->y, rect->width, rect->height};
        g_free(rect);
      }
      g_object_unref(component);
    }
  }
  if (AtspiText* text = atspi_accessible_get_text_iface(node)) {
    described.hasText = true;
    described.text = takeString(atspi_text_get_text(text, 0, -1, nullptr));
    if (described.focused) {
      described.caret = caretBox(text);
      const gint offset = atspi_text_get_caret_offset(text, nullptr);
      if (AtspiRect* rect =
              atspi_text_get_character_extents(text, offset, ATSPI_COORD_TYPE_SCREEN, nullptr)) {
        described.caretOnScreen =
            described.caret && rect->x == described.caret->x && rect->y == described.caret->y;
        g_free(rect);
      }
    }
    g_object_unref(text);
  }
  return described;
}

// Runs `use` on the first node with this role and name; false when there is none.
bool withNode(pid_t pid, const std::string& role, const std::string& name, bool showingOnly,
              const std::function<bool(AtspiAccessible*)>& use) {
  AtspiAccessible* app = application(pid);
  if (app == nullptr) {
    return false;
  }
  bool result = false;
  walk(app, [&](AtspiAccessible* node) {
    const Node described = describe(node);
    if ((!role.empty() && described.role != role) || described.name != name ||
        (showingOnly && !described.showing)) {
      return false;
    }
    result = use(node);
    return true;
  });
  g_object_unref(app);
  return result;
}

}  // namespace

std::vector<Node> nodes(pid_t pid) {
  std::vector<Node> all;
  AtspiAccessible* app = application(pid);
  if (app == nullptr) {
    return all;
  }
  walk(app, [&](AtspiAccessible* node) {
    all.push_back(describe(node));
    return false;
  });
  g_object_unref(app);
  return all;
}

std::string dump(pid_t pid) {
  std::string text;
  for (const Node& node : nodes(pid)) {
    text += node.role + " '" + node.name + "' '" + node.text + "'" + (node.showing ? " [showing]" : "") +
            (node.focused ? " [focused]\n" : "\n");
  }
  return text.empty() ? "no application of pid " + std::to_string(pid) + " on the bus\n" : text;
}

bool holdsText(pid_t pid, const std::string& fragment) {
  const auto all = nodes(pid);
  return std::any_of(all.begin(), all.end(),
                     [&](const Node& node) { return node.text.find(fragment) != std::string::npos; });
}

bool shows(pid_t pid, const std::string& fragment) {
  const auto all = nodes(pid);
  for (const Node& node : all) {
    if (node.showing &&
        (node.name.find(fragment) != std::string::npos || node.text.find(fragment) != std::string::npos)) {
      return true;
    }
  }
  return false;
}

bool waitForShown(pid_t pid, const std::string& fragment, std::chrono::milliseconds timeout) {
  return waitUntil([&] { return shows(pid, fragment); }, timeout);
}

std::optional<WindowFrame> frameOf(pid_t pid, const std::string& role, const std::string& name) {
  std::optional<WindowFrame> frame;
  static_cast<void>(withNode(pid, role, name, false, [&](AtspiAccessible* node) {
    AtspiComponent* component = atspi_accessible_get_component_iface(node);
    if (component == nullptr) {
      return false;
    }
    if (AtspiRect* rect = atspi_component_get_extents(component, ATSPI_COORD_TYPE_SCREEN, nullptr)) {
      frame = WindowFrame{rect->x, rect->y, rect->width, rect->height};
      g_free(rect);
    }
    g_object_unref(component);
    return frame.has_value();
  }));
  return frame;
}

bool press(pid_t pid, const std::string& role, const std::string& name, bool showingOnly) {
  return withNode(pid, role, name, showingOnly, [](AtspiAccessible* node) {
    AtspiAction* action = atspi_accessible_get_action_iface(node);
    if (action == nullptr) {
      return false;
    }
    // Qt lists "SetFocus" among a button's actions too: pick the one that clicks.
    gint chosen = 0;
    const gint count = atspi_action_get_n_actions(action, nullptr);
    for (gint i = 0; i < count; ++i) {
      const std::string actionName = takeString(atspi_action_get_action_name(action, i, nullptr));
      if (actionName == "Press" || actionName == "Toggle") {
        chosen = i;
        break;
      }
    }
    const bool done = atspi_action_do_action(action, chosen, nullptr) != FALSE;
    g_object_unref(action);
    return done;
  });
}

bool placeCaret(pid_t pid, const std::string& role, const std::string& name) {
  return withNode(pid, role, name, true, [](AtspiAccessible* node) {
    AtspiText* text = atspi_accessible_get_text_iface(node);
    if (text == nullptr) {
      return false;
    }
    const gint end = atspi_text_get_character_count(text, nullptr);
    const bool placed = atspi_text_set_caret_offset(text, end, nullptr) != FALSE;
    g_object_unref(text);
    return placed;
  });
}

bool click(pid_t pid, const std::string& role, const std::string& name) {
  const auto frame = frameOf(pid, role, name);
  return frame && frame->width > 0 && frame->height > 0 &&
         xdotool({"mousemove", "--sync", std::to_string(frame->x + frame->width / 2),
                  std::to_string(frame->y + frame->height / 2), "click", "1"});
}

}  // namespace atspi

static std::string described(const WindowFrame& frame) {
  return std::to_string(frame.width) + "x" + std::to_string(frame.height) + "+" + std::to_string(frame.x) +
         "+" + std::to_string(frame.y);
}

std::optional<WindowFrame> caretLine(pid_t pid, const std::string& window, int scale) {
  const auto client = windowFrame(window);
  std::optional<WindowFrame> caret;
  std::optional<WindowFrame> box;
  bool onScreen = false;
  for (const atspi::Node& node : atspi::nodes(pid)) {
    if (!caret && node.focused && node.hasText) {
      caret = node.caret;
      onScreen = node.caretOnScreen;
    }
    box = box ? box : node.windowBox;
  }
  if (!client || !caret) {
    return std::nullopt;
  }
  if (onScreen && (client->x != 0 || client->y != 0)) {
    return WindowFrame{client->x, caret->y, caret->x + std::max(caret->width, 1) - client->x, caret->height};
  }
  // GTK 4 counts from inside its shadow, as xprop reads it where the window manager composites,
  // else from inside an even border (its window at (0, 0), smaller than the client).
  int insetX = 0;
  int insetY = 0;
  const Exit extents = run({"xprop", "-id", window, "_GTK_FRAME_EXTENTS"});
  const bool drawsItsFrame = std::sscanf(extents.output.c_str(), "_GTK_FRAME_EXTENTS(CARDINAL) = %d, %*d, %d",
                                         &insetX, &insetY) == 2;
  if (!drawsItsFrame && box && box->x == 0 && box->y == 0 && box->width * scale < client->width &&
      box->width * scale > client->width / 2) {
    insetX = (client->width - box->width * scale) / 2;
    insetY = (client->height - box->height * scale) / 2;
  }
  return WindowFrame{client->x, client->y + insetY + caret->y * scale,
                     insetX + (caret->x + std::max(caret->width, 1)) * scale, caret->height * scale};
}

std::string panelPlacementFault(const WindowFrame& line, const std::string& overlay) {
  const auto panel = windowFrame(overlay);
  const auto area = workArea();
  if (!panel || !area) {
    return "the X11 geometry cannot be read";
  }
  const WindowFrame& p = *panel;
  const bool covers = p.x < line.x + line.width && line.x < p.x + p.width && p.y < line.y + line.height &&
                      line.y < p.y + p.height;
  const bool outside = p.x < area->x || p.y < area->y || p.x + p.width > area->x + area->width ||
                       p.y + p.height > area->y + area->height;
  return covers || outside ? "the panel " + described(p) + " covers the caret line " + described(line) +
                                 " or leaves the work area " + described(*area)
                           : "";
}

Wrenfold::Wrenfold() = default;

std::vector<std::string> Wrenfold::environment() const {
  return {"XDG_DATA_HOME=" + dataHome_.path().string(), "QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1"};
}

void Wrenfold::configure(const std::string& baseURL, const std::string& apiKey) const {
  const json::Json config{{"provider", "openAICompatible"},
                          {"baseURL", baseURL},
                          {"model", "loopback-model"},
                          {"apiKeyRef", "model.openAICompatible.api-key"},
                          {"apiKey", apiKey},
                          {"temperature", 0.45},
                          {"maxTokens", 900}};
  testing::writeAll(dataFolder() / "config.json", json::dumpPretty(config));
}

void Wrenfold::start() {
  process_ = std::make_unique<Process>(std::vector<std::string>{WRENFOLD_BINARY}, environment());
  // Logged once the trigger listens and the single-instance socket is open.
  const bool launched = waitUntil([&] {
    return process_->wait(0ms).has_value() ||
           testing::readAll(dataFolder() / "logs" / "app.log").find("Wrenfold launched") != std::string::npos;
  });
  if (!launched || process_->wait(0ms)) {
    throw std::runtime_error("wrenfold did not launch: " + process_->output());
  }
  // Test desktops have no tray, so the settings window opens with its guide: put it away as the
  // user would, or it would stand between the programs and the keys.
  if (testing::readAll(dataFolder() / "logs" / "app.log").find("设置窗口已打开") != std::string::npos &&
      !waitUntil([&] { return atspi::press(pid(), "push button", "关闭窗口"); })) {
    throw std::runtime_error("the settings window that opened at launch could not be closed");
  }
}

std::optional<int> Wrenfold::stop() {
  if (!process_) {
    return std::nullopt;
  }
  process_->terminate();
  return process_->wait(0ms);
}

Exit Wrenfold::command(const std::vector<std::string>& arguments) const {
  std::vector<std::string> argv{WRENFOLD_BINARY};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return run(argv, environment());
}

std::vector<json::Json> Wrenfold::records(const std::string& relativePath) const {
  std::vector<json::Json> result;
  for (const auto& line : lines(testing::readAll(dataFolder() / relativePath))) {
    if (auto record = json::parse(line)) {
      result.push_back(std::move(*record));
    }
  }
  return result;
}

std::vector<std::string> Wrenfold::events() const {
  std::vector<std::string> names;
  for (const auto& record : records("events/local-events.jsonl")) {
    if (record.contains("event") && record["event"].is_string()) {
      names.push_back(record["event"].get<std::string>());
    }
  }
  return names;
}

std::optional<json::Json> Wrenfold::config() const {
  auto parsed = json::parse(testing::readAll(dataFolder() / "config.json"));
  return parsed ? std::optional<json::Json>(std::move(*parsed)) : std::nullopt;
}

std::optional<std::string> Wrenfold::waitForOverlay() const {
  std::optional<std::string> window;
  static_cast<void>(waitUntil([&] { return (window = overlayWindow()).has_value(); }));
  return window;
}

std::unique_ptr<testing::FixtureApp> startTarget(const std::string& mode, const std::string& draft,
                                                 const std::filesystem::path& reportDir) {
  auto app = std::make_unique<testing::FixtureApp>(
      WRENFOLD_GTK_FIXTURE, std::vector<std::string>{"--mode", mode, "--text", draft}, reportDir);
  if (!waitUntil([&] { return app->report() == draft; }) ||
      !xdotool({"search", "--sync", "--all", "--onlyvisible", "--pid", std::to_string(app->pid()), "--name",
                "^Wrenfold fixture: " + mode + "$", "windowactivate", "--sync"}) ||
      !xdotool({"key", "End"})) {
    throw std::runtime_error("the " + mode + " fixture did not come up");
  }
  return app;
}

}  // namespace wrenfold::e2e

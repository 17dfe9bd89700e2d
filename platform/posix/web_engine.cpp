// The web window's engine on Linux: a GTK 3 window holding a WebKitGTK 4.1 view.
//
// The page posts to the script message channel "velmora"; answers and settle scripts run in the
// main frame. Document scripts go to the top frame only.
//
// WebKitGTK asks about every navigation of every frame alike (decide-policy), so a top-level one is
// caught where only the main frame is reported: when its response arrives (a response policy
// decision for the main resource), before anything of it is shown. The request has been sent by
// then. A page loaded with LoadHtml has no response; its start (load-changed) is announced as the
// launcher's own navigation. A top-level document that arrives without a response the core could
// refuse (about:blank) is reported when it is in place, and the core puts the launcher's page
// back. New windows are never created (decide-policy for new-window actions, and "create").

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <cstdlib>
#include <memory>

#include "platform/posix/webkit_host_trust.h"
#include "platform/web_engine.h"
#include "platform/web_page_scripts.h"

namespace platform {

namespace {

std::string OwnedText(char* text) {
  std::string result = text != nullptr ? text : "";
  g_free(text);
  return result;
}

struct ButtonPress {
  bool held = false;
  int rootX = 0;
  int rootY = 0;
  guint32 time = 0;
};

class WebKitEngine final : public WebEngine {
 public:
  WebKitEngine(bool debug, WebEngineEvents& events);
  ~WebKitEngine() override;
  WebKitEngine(const WebKitEngine&) = delete;
  WebKitEngine& operator=(const WebKitEngine&) = delete;

  NativeWindow Window() const override { return window_; }
  void SetTitle(const std::string& title) override;
  void SetSize(int width, int height, SizeHint hint) override;
  std::string PostFunction() const override { return web_page::kWebKitPost; }
  void AddDocumentScript(const std::string& script) override;
  void LoadHtml(const std::string& html) override;
  void RunScript(const std::string& script) override;
  void TrustAuthorityFor(const std::string& address, const std::string& authorities) override;
  void ScheduleCalls() override;
  void StartDrag() override;
  void Run() override;

 private:
  static void OnMessage(WebKitUserContentManager*, WebKitJavascriptResult* message, gpointer self);
  static void OnLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer self);
  static gboolean OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                 WebKitPolicyDecisionType type, gpointer self);
  static GtkWidget* OnCreate(WebKitWebView*, WebKitNavigationAction* action, gpointer self);
  static gboolean OnScheduledCalls(gpointer self);
  static gboolean OnButtonPress(GtkWidget*, GdkEventButton* event, gpointer self);
  static gboolean OnButtonRelease(GtkWidget*, GdkEventButton* event, gpointer self);
  static gboolean OnPageProcessEnded(WebKitWebView*, WebKitWebProcessTerminationReason reason,
                                     gpointer self);
  static void OnDestroy(GtkWidget*, gpointer self);

  WebKitWebView* view() const {
    return window_ != nullptr ? WEBKIT_WEB_VIEW(gtk_bin_get_child(GTK_BIN(window_))) : nullptr;
  }

  WebEngineEvents& events_;
  GtkWidget* window_ = nullptr;
  WebKitUserContentManager* content_ = nullptr;
  guint scheduledCalls_ = 0;      // the idle source that calls OnCallsScheduled, 0 when none
  bool ownLoadStarting_ = false;  // LoadHtml asked for the launcher's page, not yet started
  bool running_ = false;
  ButtonPress press_;
  std::unique_ptr<HostTrust> hostTrust_;  // the host whose certificate is being checked, if any
};

WebKitEngine::WebKitEngine(bool debug, WebEngineEvents& events)
    : events_(events),
      window_(gtk_window_new(GTK_WINDOW_TOPLEVEL)),
      content_(webkit_user_content_manager_new()) {
  const std::string signal = std::string("script-message-received::") + web_page::kWebKitChannel;
  g_signal_connect(content_, signal.c_str(), G_CALLBACK(OnMessage), this);
  webkit_user_content_manager_register_script_message_handler(content_, web_page::kWebKitChannel);

  GtkWidget* view = webkit_web_view_new_with_user_content_manager(content_);
  webkit_settings_set_enable_developer_extras(webkit_web_view_get_settings(WEBKIT_WEB_VIEW(view)),
                                              debug);
  gtk_widget_add_events(view, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK);
  g_signal_connect(view, "button-press-event", G_CALLBACK(OnButtonPress), this);
  g_signal_connect(view, "button-release-event", G_CALLBACK(OnButtonRelease), this);
  g_signal_connect(view, "web-process-terminated", G_CALLBACK(OnPageProcessEnded), this);
  g_signal_connect(view, "load-changed", G_CALLBACK(OnLoadChanged), this);
  g_signal_connect(view, "decide-policy", G_CALLBACK(OnDecidePolicy), this);
  g_signal_connect(view, "create", G_CALLBACK(OnCreate), this);
  gtk_container_add(GTK_CONTAINER(window_), view);
  g_signal_connect(window_, "destroy", G_CALLBACK(OnDestroy), this);
}

WebKitEngine::~WebKitEngine() {
  hostTrust_.reset();  // navigations still waiting for it go ahead while the view exists
  if (window_ != nullptr) gtk_widget_destroy(window_);
  if (scheduledCalls_ != 0) g_source_remove(scheduledCalls_);
  g_signal_handlers_disconnect_by_data(content_, this);
  g_object_unref(content_);
}

void WebKitEngine::SetTitle(const std::string& title) {
  if (window_ != nullptr) gtk_window_set_title(GTK_WINDOW(window_), title.c_str());
}

void WebKitEngine::SetSize(int width, int height, SizeHint hint) {
  if (window_ == nullptr) return;
  GtkWindow* window = GTK_WINDOW(window_);
  switch (hint) {
    case SizeHint::Fixed:
      gtk_window_set_resizable(window, FALSE);
      gtk_widget_set_size_request(window_, width, height);
      break;
    case SizeHint::Min:
      gtk_widget_set_size_request(window_, width, height);
      break;
    case SizeHint::Max: {
      GdkGeometry geometry{};
      geometry.max_width = width;
      geometry.max_height = height;
      gtk_window_set_geometry_hints(window, nullptr, &geometry, GDK_HINT_MAX_SIZE);
      break;
    }
    case SizeHint::None:
      gtk_window_set_resizable(window, TRUE);
      gtk_window_set_default_size(window, width, height);
      gtk_window_resize(window, width, height);
      break;
  }
}

void WebKitEngine::AddDocumentScript(const std::string& source) {
  WebKitUserScript* script =
      webkit_user_script_new(source.c_str(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                             WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
  webkit_user_content_manager_add_script(content_, script);
  webkit_user_script_unref(script);
}

void WebKitEngine::LoadHtml(const std::string& html) {
  WebKitWebView* page = view();
  if (page == nullptr) return;
  ownLoadStarting_ = true;
  webkit_web_view_load_html(page, html.c_str(), nullptr);
}

void WebKitEngine::RunScript(const std::string& script) {
  if (WebKitWebView* page = view()) {
    webkit_web_view_evaluate_javascript(page, script.c_str(), -1, nullptr, nullptr, nullptr,
                                        nullptr, nullptr);
  }
}

void WebKitEngine::TrustAuthorityFor(const std::string& address, const std::string& authorities) {
  if (WebKitWebView* page = view()) {
    hostTrust_ = HostTrust::Start(webkit_web_view_get_context(page), address, authorities);
  }
}

void WebKitEngine::ScheduleCalls() {
  if (scheduledCalls_ == 0) scheduledCalls_ = g_idle_add(OnScheduledCalls, this);
}

gboolean WebKitEngine::OnScheduledCalls(gpointer data) {
  auto* self = static_cast<WebKitEngine*>(data);
  self->scheduledCalls_ = 0;
  self->events_.OnCallsScheduled();
  return G_SOURCE_REMOVE;
}

void WebKitEngine::StartDrag() {
  // The press the page saw is the last one the view received; a button already released (the
  // message came late) must not start a move that nothing would end.
  if (window_ == nullptr || !press_.held) return;
  gtk_window_begin_move_drag(GTK_WINDOW(window_), GDK_BUTTON_PRIMARY, press_.rootX, press_.rootY,
                             press_.time);
  press_.held = false;
}

void WebKitEngine::Run() {
  if (window_ == nullptr) return;
  gtk_widget_show_all(window_);
  running_ = true;
  gtk_main();
  running_ = false;
}

void WebKitEngine::OnMessage(WebKitUserContentManager*, WebKitJavascriptResult* message,
                             gpointer data) {
  auto* self = static_cast<WebKitEngine*>(data);
  WebKitWebView* page = self->view();
  if (page == nullptr) return;
  // WebKitGTK does not say which frame posted; the token tells the top frame's scripts apart.
  const char* uri = webkit_web_view_get_uri(page);
  const std::string json =
      OwnedText(jsc_value_to_json(webkit_javascript_result_get_js_value(message), 0));
  self->events_.OnPageMessage(json, uri != nullptr ? uri : "");
}

void WebKitEngine::OnLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer data) {
  auto* self = static_cast<WebKitEngine*>(data);
  const char* uri = webkit_web_view_get_uri(view);
  const std::string address = uri != nullptr ? uri : "";
  if (event == WEBKIT_LOAD_STARTED && self->ownLoadStarting_) {
    self->ownLoadStarting_ = false;
    self->events_.OnTopLevelNavigation(address);
  } else if (event == WEBKIT_LOAD_COMMITTED) {
    self->events_.OnDocumentShown(address);
  }
}

gboolean WebKitEngine::OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                      WebKitPolicyDecisionType type, gpointer data) {
  auto* self = static_cast<WebKitEngine*>(data);
  if (type == WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION && self->hostTrust_) {
    // A navigation (of any frame) to the host whose certificate is being checked waits for the
    // answer, so that its first load already has it.
    const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(
        webkit_navigation_policy_decision_get_navigation_action(
            WEBKIT_NAVIGATION_POLICY_DECISION(decision))));
    if (self->hostTrust_->Hold(decision, uri != nullptr ? uri : "")) return TRUE;
  }
  if (type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) {
    WebKitNavigationAction* action = webkit_navigation_policy_decision_get_navigation_action(
        WEBKIT_NAVIGATION_POLICY_DECISION(decision));
    const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
    webkit_policy_decision_ignore(decision);
    self->events_.OnNewWindowRequested(uri != nullptr ? uri : "",
                                       webkit_navigation_action_is_user_gesture(action));
    return TRUE;
  }
  if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE) {
    auto* response = WEBKIT_RESPONSE_POLICY_DECISION(decision);
    if (!webkit_response_policy_decision_is_main_frame_main_resource(response)) return FALSE;
    const char* uri =
        webkit_uri_request_get_uri(webkit_response_policy_decision_get_request(response));
    if (!self->events_.OnTopLevelNavigation(uri != nullptr ? uri : "")) {
      webkit_policy_decision_ignore(decision);
      return TRUE;
    }
  }
  return FALSE;  // WebKit's own decision: frames navigate within themselves
}

GtkWidget* WebKitEngine::OnCreate(WebKitWebView*, WebKitNavigationAction* action, gpointer data) {
  // Only reached if a new-window action was let through: still no window inside the launcher.
  const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
  static_cast<WebKitEngine*>(data)->events_.OnNewWindowRequested(uri != nullptr ? uri : "", false);
  return nullptr;
}

gboolean WebKitEngine::OnButtonPress(GtkWidget*, GdkEventButton* event, gpointer self) {
  if (event->type == GDK_BUTTON_PRESS && event->button == GDK_BUTTON_PRIMARY) {
    static_cast<WebKitEngine*>(self)->press_ = {true, static_cast<int>(event->x_root),
                                                static_cast<int>(event->y_root), event->time};
  }
  return FALSE;  // the page gets the press as usual
}

gboolean WebKitEngine::OnButtonRelease(GtkWidget*, GdkEventButton* event, gpointer self) {
  if (event->button == GDK_BUTTON_PRIMARY) static_cast<WebKitEngine*>(self)->press_.held = false;
  return FALSE;
}

gboolean WebKitEngine::OnPageProcessEnded(WebKitWebView*, WebKitWebProcessTerminationReason reason,
                                          gpointer data) {
  auto* self = static_cast<WebKitEngine*>(data);
  if (reason == WEBKIT_WEB_PROCESS_TERMINATED_BY_API) return FALSE;
  self->events_.OnPageProcessEnded(static_cast<int>(reason));
  // A window without its page cannot even be closed by the player: close it.
  if (self->window_ != nullptr) gtk_window_close(GTK_WINDOW(self->window_));
  return FALSE;
}

void WebKitEngine::OnDestroy(GtkWidget*, gpointer data) {
  auto* self = static_cast<WebKitEngine*>(data);
  self->hostTrust_.reset();  // the navigations waiting for it are let go while the view exists
  self->window_ = nullptr;
  self->events_.OnWindowClosed();
  if (self->running_) gtk_main_quit();
}

}  // namespace

std::unique_ptr<WebEngine> CreateWebEngine(bool debug, WebEngineEvents& events,
                                           std::string& error) {
  // Only X11 lets a program place its own window; under Wayland the X11 compatibility server
  // serves.
  gdk_set_allowed_backends("x11");
  if (!gtk_init_check(nullptr, nullptr)) {
    const char* display = std::getenv("DISPLAY");
    error = display != nullptr && *display != '\0'
                ? std::string("cannot open the display ") + display
                : std::string("no display (DISPLAY is not set)");
    return nullptr;
  }
  return std::make_unique<WebKitEngine>(debug, events);
}

}  // namespace platform

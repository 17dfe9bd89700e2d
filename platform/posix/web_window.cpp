// The web window on Linux: a GTK 3 window holding a WebKitGTK 4.1 view.
//
// Bound functions travel through one script message channel that replies: the page's script
// (web_page_scripts.cpp) posts each call and WebKit resolves the posting promise with whatever
// the native side answers. Calls queue up and run one at a time on the GTK main thread. The
// scripts carry a random token that the native side checks, so a foreign page inside a frame
// cannot call the launcher's functions.

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <cstdlib>
#include <deque>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <random>

#include "log/log.h"
#include "platform/posix/web_page_scripts.h"
#include "platform/web_window.h"

namespace platform {

namespace {

std::string RandomToken() {
  std::random_device source;
  std::string token;
  for (int i = 0; i < 4; ++i) {
    char chunk[9];
    std::snprintf(chunk, sizeof(chunk), "%08x", static_cast<unsigned>(source()));
    token += chunk;
  }
  return token;
}

std::string OwnedText(char* text) {
  std::string result = text != nullptr ? text : "";
  g_free(text);
  return result;
}

// The reply text as a JSON string: any bytes reach the page's script intact, invalid UTF-8
// becomes U+FFFD.
std::string EncodeReply(const std::string& reply) {
  return nlohmann::json(reply).dump(-1, ' ', true, nlohmann::json::error_handler_t::replace);
}

struct CallText {
  std::string name;
  std::string request;
};

// A call as the page's script posts it: {"token": ..., "name": ..., "request": ...}, all three
// texts. Anything else, or another token, is no call of this window.
std::optional<CallText> ReadCall(const std::string& message, const std::string& token) {
  const nlohmann::json call = nlohmann::json::parse(message, nullptr, false);
  if (!call.is_object()) return {};
  const auto text = [&call](const char* key) -> const nlohmann::json* {
    const auto member = call.find(key);
    return member != call.end() && member->is_string() ? &*member : nullptr;
  };
  const nlohmann::json* sentToken = text("token");
  const nlohmann::json* name = text("name");
  const nlohmann::json* request = text("request");
  if (sentToken == nullptr || name == nullptr || request == nullptr) return {};
  if (sentToken->get_ref<const std::string&>() != token) return {};
  return CallText{name->get<std::string>(), request->get<std::string>()};
}

struct ButtonPress {
  bool held = false;
  int rootX = 0;
  int rootY = 0;
  guint32 time = 0;
};

}  // namespace

class WebWindow::Impl {
 public:
  Impl(bool debug, std::string token);
  ~Impl();
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

  GtkWindow* window() const { return window_ != nullptr ? GTK_WINDOW(window_) : nullptr; }
  void SetSize(int width, int height, SizeHint hint);
  void Bind(const std::string& name, Binding function);
  void SetHtml(const std::string& html);
  void Run();

 private:
  struct PendingCall {
    std::string name;
    std::string request;
    WebKitScriptMessageReply* reply;
    JSCContext* context;
  };

  static gboolean OnCall(WebKitUserContentManager*, JSCValue* message,
                         WebKitScriptMessageReply* reply, gpointer self);
  static void OnDragRequest(WebKitUserContentManager*, WebKitJavascriptResult* message,
                            gpointer self);
  static gboolean OnButtonPress(GtkWidget*, GdkEventButton* event, gpointer self);
  static gboolean OnButtonRelease(GtkWidget*, GdkEventButton* event, gpointer self);
  static gboolean OnPageProcessEnded(WebKitWebView*, WebKitWebProcessTerminationReason reason,
                                     gpointer self);
  static void OnDestroy(GtkWidget*, gpointer self);

  void InstallScripts();
  void Queue(JSCValue* message, WebKitScriptMessageReply* reply);
  void RunQueuedCalls();
  void Answer(PendingCall& call);
  void ReleaseQueuedCalls();

  std::string token_;
  GtkWidget* window_ = nullptr;
  WebKitUserContentManager* content_ = nullptr;
  std::map<std::string, Binding> bindings_;
  std::vector<std::string> boundNames_;
  std::deque<PendingCall> queue_;
  bool answering_ = false;
  bool running_ = false;
  ButtonPress press_;
};

WebWindow::Impl::Impl(bool debug, std::string token)
    : token_(std::move(token)),
      window_(gtk_window_new(GTK_WINDOW_TOPLEVEL)),
      content_(webkit_user_content_manager_new()) {
  const std::string callSignal =
      std::string("script-message-with-reply-received::") + web_page::kCallChannel;
  g_signal_connect(content_, callSignal.c_str(), G_CALLBACK(OnCall), this);
  webkit_user_content_manager_register_script_message_handler_with_reply(
      content_, web_page::kCallChannel, nullptr);
  const std::string dragSignal = std::string("script-message-received::") + web_page::kDragChannel;
  g_signal_connect(content_, dragSignal.c_str(), G_CALLBACK(OnDragRequest), this);
  webkit_user_content_manager_register_script_message_handler(content_, web_page::kDragChannel);

  GtkWidget* view = webkit_web_view_new_with_user_content_manager(content_);
  webkit_settings_set_enable_developer_extras(webkit_web_view_get_settings(WEBKIT_WEB_VIEW(view)),
                                              debug);
  gtk_widget_add_events(view, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK);
  g_signal_connect(view, "button-press-event", G_CALLBACK(OnButtonPress), this);
  g_signal_connect(view, "button-release-event", G_CALLBACK(OnButtonRelease), this);
  g_signal_connect(view, "web-process-terminated", G_CALLBACK(OnPageProcessEnded), this);
  gtk_container_add(GTK_CONTAINER(window_), view);
  g_signal_connect(window_, "destroy", G_CALLBACK(OnDestroy), this);
  InstallScripts();
}

WebWindow::Impl::~Impl() {
  if (window_ != nullptr) gtk_widget_destroy(window_);  // OnDestroy releases the queue
  ReleaseQueuedCalls();
  g_signal_handlers_disconnect_by_data(content_, this);
  g_object_unref(content_);
}

void WebWindow::Impl::SetSize(int width, int height, SizeHint hint) {
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

void WebWindow::Impl::Bind(const std::string& name, Binding function) {
  if (bindings_.find(name) == bindings_.end()) boundNames_.push_back(name);
  bindings_[name] = std::move(function);
  InstallScripts();
}

void WebWindow::Impl::InstallScripts() {
  webkit_user_content_manager_remove_all_scripts(content_);
  for (const std::string& source :
       {web_page::BridgeScript(token_, boundNames_), web_page::DragRegionScript(token_)}) {
    WebKitUserScript* script =
        webkit_user_script_new(source.c_str(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                               WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
    webkit_user_content_manager_add_script(content_, script);
    webkit_user_script_unref(script);
  }
}

void WebWindow::Impl::SetHtml(const std::string& html) {
  if (window_ == nullptr) return;
  GtkWidget* view = gtk_bin_get_child(GTK_BIN(window_));
  webkit_web_view_load_html(WEBKIT_WEB_VIEW(view), html.c_str(), nullptr);
}

void WebWindow::Impl::Run() {
  if (window_ == nullptr) return;
  gtk_widget_show_all(window_);
  running_ = true;
  gtk_main();
  running_ = false;
}

gboolean WebWindow::Impl::OnCall(WebKitUserContentManager*, JSCValue* message,
                                 WebKitScriptMessageReply* reply, gpointer self) {
  static_cast<Impl*>(self)->Queue(message, reply);
  return TRUE;
}

void WebWindow::Impl::Queue(JSCValue* message, WebKitScriptMessageReply* reply) {
  std::optional<CallText> call;
  if (jsc_value_is_string(message))
    call = ReadCall(OwnedText(jsc_value_to_string(message)), token_);
  if (!call) {
    webkit_script_message_reply_return_error_message(reply, "Not a call of this launcher");
    return;
  }
  queue_.push_back({std::move(call->name), std::move(call->request),
                    webkit_script_message_reply_ref(reply),
                    JSC_CONTEXT(g_object_ref(jsc_value_get_context(message)))});
  // A call that arrives while another one runs (from a nested loop) waits for it.
  if (!answering_) RunQueuedCalls();
}

void WebWindow::Impl::RunQueuedCalls() {
  answering_ = true;
  while (!queue_.empty()) {
    PendingCall call = std::move(queue_.front());
    queue_.pop_front();
    Answer(call);
    webkit_script_message_reply_unref(call.reply);
    g_object_unref(call.context);
  }
  answering_ = false;
}

void WebWindow::Impl::Answer(PendingCall& call) {
  const auto binding = bindings_.find(call.name);
  if (binding == bindings_.end()) {
    webkit_script_message_reply_return_error_message(call.reply, "Not a bound function");
    return;
  }
  std::string failure;
  try {
    const std::string encoded = EncodeReply(binding->second(call.request));
    JSCValue* value = jsc_value_new_string(call.context, encoded.c_str());
    webkit_script_message_reply_return_value(call.reply, value);
    g_object_unref(value);
    return;
  } catch (const std::exception& error) {
    failure = error.what();
  } catch (...) {
    failure = "unknown error";
  }
  LogErrorAs("WebWindow", "Bound function %s failed: %s", call.name.c_str(), failure.c_str());
  webkit_script_message_reply_return_error_message(call.reply, failure.c_str());
}

void WebWindow::Impl::ReleaseQueuedCalls() {
  for (PendingCall& call : queue_) {
    webkit_script_message_reply_unref(call.reply);
    g_object_unref(call.context);
  }
  queue_.clear();
}

void WebWindow::Impl::OnDragRequest(WebKitUserContentManager*, WebKitJavascriptResult* message,
                                    gpointer data) {
  auto* self = static_cast<Impl*>(data);
  JSCValue* value = webkit_javascript_result_get_js_value(message);
  if (!jsc_value_is_string(value) || OwnedText(jsc_value_to_string(value)) != self->token_) return;
  // The press the page saw is the last one the view received; a button already released (the
  // message came late) must not start a move that nothing would end.
  if (self->window_ == nullptr || !self->press_.held) return;
  gtk_window_begin_move_drag(GTK_WINDOW(self->window_), GDK_BUTTON_PRIMARY, self->press_.rootX,
                             self->press_.rootY, self->press_.time);
  self->press_.held = false;
}

gboolean WebWindow::Impl::OnButtonPress(GtkWidget*, GdkEventButton* event, gpointer self) {
  if (event->type == GDK_BUTTON_PRESS && event->button == GDK_BUTTON_PRIMARY) {
    static_cast<Impl*>(self)->press_ = {true, static_cast<int>(event->x_root),
                                        static_cast<int>(event->y_root), event->time};
  }
  return FALSE;  // the page gets the press as usual
}

gboolean WebWindow::Impl::OnButtonRelease(GtkWidget*, GdkEventButton* event, gpointer self) {
  if (event->button == GDK_BUTTON_PRIMARY) static_cast<Impl*>(self)->press_.held = false;
  return FALSE;
}

gboolean WebWindow::Impl::OnPageProcessEnded(WebKitWebView*,
                                             WebKitWebProcessTerminationReason reason,
                                             gpointer data) {
  auto* self = static_cast<Impl*>(data);
  if (reason == WEBKIT_WEB_PROCESS_TERMINATED_BY_API) return FALSE;
  LogErrorAs("WebWindow", "Web page process ended unexpectedly (reason %d)",
             static_cast<int>(reason));
  // A window without its page cannot even be closed by the player: close it.
  if (self->window_ != nullptr) gtk_window_close(GTK_WINDOW(self->window_));
  return FALSE;
}

void WebWindow::Impl::OnDestroy(GtkWidget*, gpointer data) {
  auto* self = static_cast<Impl*>(data);
  self->window_ = nullptr;
  self->ReleaseQueuedCalls();
  if (self->running_) gtk_main_quit();
}

WebWindow::WebWindow(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
WebWindow::~WebWindow() = default;

std::unique_ptr<WebWindow> WebWindow::Create(bool debug, std::string& error) {
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
  return std::unique_ptr<WebWindow>(new WebWindow(std::make_unique<Impl>(debug, RandomToken())));
}

NativeWindow WebWindow::Window() const {
  return impl_->window();
}

void WebWindow::SetTitle(const std::string& title) {
  if (GtkWindow* window = impl_->window()) gtk_window_set_title(window, title.c_str());
}

void WebWindow::SetSize(int width, int height, SizeHint hint) {
  impl_->SetSize(width, height, hint);
}

void WebWindow::Bind(const std::string& name, Binding function) {
  impl_->Bind(name, std::move(function));
}

void WebWindow::SetHtml(const std::string& html) {
  impl_->SetHtml(html);
}

void WebWindow::Run() {
  impl_->Run();
}

}  // namespace platform

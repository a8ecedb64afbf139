#include "platform/DisplaySync.h"

#include <QGuiApplication>
#include <cstdlib>
#include <xcb/xcb.h>

namespace orvex {

void WaitForDisplay() {
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  if (!x11 || !x11->connection()) return;
  xcb_connection_t* connection = x11->connection();
  // A reply comes only after the server has handled every earlier request.
  std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
}

}  // namespace orvex

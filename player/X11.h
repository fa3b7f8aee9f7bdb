#pragma once

struct xcb_connection_t;
typedef struct _XDisplay Display;

// This application's connection to the X server, through xcb or Xlib; null
// when it shows elsewhere (Wayland, offscreen) or is gone. Ask each time: at
// exit the application, and its display, may be gone.
xcb_connection_t* x11Connection();
Display* x11Display();

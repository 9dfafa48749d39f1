/* Stands in for the user at the window system in end-to-end runs:
 *   tvq-xwin count TITLE   prints how many mapped top-level windows carry that title
 *   tvq-xwin close TITLE   asks each of them to close, as a click on the close box does
 *                          (WM_DELETE_WINDOW); exit 1 when there was none */
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int HasTitle(Display* d, Window w, const char* title) {
    char* name = NULL;
    int match = 0;
    if (XFetchName(d, w, &name) && name) {
        match = strcmp(name, title) == 0;
        XFree(name);
    }
    return match;
}

static void SendDelete(Display* d, Window w) {
    XEvent e;
    memset(&e, 0, sizeof e);
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = (long)XInternAtom(d, "WM_DELETE_WINDOW", False);
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(d, w, False, NoEventMask, &e);
}

/* A window may go away while the tree is walked (a dialog closing, the player ending): the
 * call on it fails and returns 0, instead of Xlib's default handler ending this program. */
static int IgnoreGoneWindow(Display* d, XErrorEvent* e) {
    (void)d;
    if (e->error_code == BadWindow || e->error_code == BadDrawable || e->error_code == BadMatch)
        return 0;
    fprintf(stderr, "tvq-xwin: X error %d\n", e->error_code);
    exit(2);
}

/* Walks the tree below w; counts (and closes) the viewable windows with the title. */
static int Visit(Display* d, Window w, const char* title, int close) {
    int found = 0;
    XWindowAttributes attributes;
    if (HasTitle(d, w, title) && XGetWindowAttributes(d, w, &attributes) &&
        attributes.map_state == IsViewable) {
        if (close)
            SendDelete(d, w);
        return 1;
    }
    Window root, parent, *children = NULL;
    unsigned int count = 0;
    if (!XQueryTree(d, w, &root, &parent, &children, &count))
        return 0;
    for (unsigned int i = 0; i < count; ++i) found += Visit(d, children[i], title, close);
    if (children)
        XFree(children);
    return found;
}

int main(int argc, char** argv) {
    if (argc != 3 || (strcmp(argv[1], "count") != 0 && strcmp(argv[1], "close") != 0)) {
        fprintf(stderr, "usage: tvq-xwin count|close TITLE\n");
        return 2;
    }
    Display* d = XOpenDisplay(NULL);
    if (!d) {
        fprintf(stderr, "tvq-xwin: no display\n");
        return 2;
    }
    XSetErrorHandler(IgnoreGoneWindow);
    const int close = strcmp(argv[1], "close") == 0;
    const int found = Visit(d, DefaultRootWindow(d), argv[2], close);
    XSync(d, False);
    XCloseDisplay(d);
    if (!close)
        printf("%d\n", found);
    return close && found == 0 ? 1 : 0;
}

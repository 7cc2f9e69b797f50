// A GLX drawing surface on an X window: its own visual when it can do GL, else a GL child over it.
#include "display/x11/glx_surface.h"

#include <X11/Xutil.h>

namespace {

int glxAttribute(Display* display, XVisualInfo* visual, int attribute) {
    int value = 0;
    if (glXGetConfig(display, visual, attribute, &value) != 0) return 0;
    return value;
}

// Higher is better; negative means unusable.
int visualScore(Display* display, XVisualInfo* visual, VisualID defaultVisual) {
    if (!glxVisualUsable(display, visual)) return -1;
    if (visual->c_class != TrueColor && visual->c_class != DirectColor) return -1;
    if (glxAttribute(display, visual, GLX_LEVEL) != 0) return -1;
    int score = 0;
    // A 32-bit visual carries alpha to the compositor: the cleared background would be see-through.
    if (visual->depth <= 24) score += 1000;
    int depthBits = glxAttribute(display, visual, GLX_DEPTH_SIZE);
    score += depthBits >= 24 ? 300 : depthBits >= 16 ? 200 : depthBits > 0 ? 100 : 0;
    if (glxAttribute(display, visual, GLX_ALPHA_SIZE) >= 8) score += 50;
    if (glxAttribute(display, visual, GLX_RED_SIZE) >= 8) score += 40;
    if (glxAttribute(display, visual, GLX_STENCIL_SIZE) == 0) score += 8;
    if (glxAttribute(display, visual, GLX_ACCUM_RED_SIZE) == 0) score += 4;
    if (visual->visualid == defaultVisual) score += 2;
    return score;
}

void* glxProcAddress(const char* name) {
    return reinterpret_cast<void*>(glXGetProcAddressARB(reinterpret_cast<const GLubyte*>(name)));
}

const void* glxCurrentContext() { return glXGetCurrentContext(); }

}  // namespace

const GlContextApi& glxContextApi() {
    static const GlContextApi api{glxProcAddress, glxCurrentContext};
    return api;
}

bool glxVisualUsable(Display* display, XVisualInfo* visual) {
    return glxAttribute(display, visual, GLX_USE_GL) != 0 && glxAttribute(display, visual, GLX_RGBA) != 0 &&
           glxAttribute(display, visual, GLX_DOUBLEBUFFER) != 0;
}

XVisualInfo* chooseGlxVisual(Display* display, int screen) {
    XVisualInfo pattern{};
    pattern.screen = screen;
    int count = 0;
    XVisualInfo* list = XGetVisualInfo(display, VisualScreenMask, &pattern, &count);
    if (list == nullptr) return nullptr;
    VisualID defaultVisual = XVisualIDFromVisual(DefaultVisual(display, screen));
    int best = -1;
    int bestScore = -1;
    for (int i = 0; i < count; ++i) {
        int score = visualScore(display, &list[i], defaultVisual);
        if (score > bestScore) {
            best = i;
            bestScore = score;
        }
    }
    XVisualInfo* chosen = nullptr;
    if (best >= 0) {
        int n = 0;
        pattern.visualid = list[best].visualid;
        chosen = XGetVisualInfo(display, VisualIDMask | VisualScreenMask, &pattern, &n);
    }
    XFree(list);
    return chosen;
}

bool attachGlxSurface(GlxSurface& surface, Display* display, Window target, std::string* error) {
    surface = GlxSurface{};
    XWindowAttributes attributes;
    if (XGetWindowAttributes(display, target, &attributes) == 0) {
        *error = "cannot read the window's attributes (does it exist?)";
        return false;
    }
    int screen = XScreenNumberOfScreen(attributes.screen);
    XVisualInfo pattern{};
    pattern.visualid = XVisualIDFromVisual(attributes.visual);
    pattern.screen = screen;
    int count = 0;
    XVisualInfo* visual = XGetVisualInfo(display, VisualIDMask | VisualScreenMask, &pattern, &count);
    if (visual != nullptr && !glxVisualUsable(display, visual)) {
        XFree(visual);
        visual = nullptr;
    }

    surface.display = display;
    surface.target = target;
    surface.width = attributes.width;
    surface.height = attributes.height;
    if (visual != nullptr) {
        surface.drawable = target;
    } else {
        // The window's own visual cannot do GL: cover it with a child of a visual that can.
        visual = chooseGlxVisual(display, screen);
        if (visual == nullptr) {
            *error = "the X server offers no double-buffered RGBA GLX visual";
            surface = GlxSurface{};
            return false;
        }
        surface.colormap = XCreateColormap(display, RootWindow(display, screen), visual->visual, AllocNone);
        XSetWindowAttributes set{};
        set.colormap = surface.colormap;
        set.background_pixmap = None;
        set.border_pixel = 0;
        surface.drawable = XCreateWindow(display, target, 0, 0, attributes.width, attributes.height, 0, visual->depth,
                                         InputOutput, visual->visual, CWColormap | CWBackPixmap | CWBorderPixel, &set);
        surface.ownChild = true;
        XMapWindow(display, surface.drawable);
    }

    surface.context = glXCreateContext(display, visual, nullptr, True);
    XFree(visual);
    if (surface.context == nullptr) {
        *error = "cannot create a GLX context";
        releaseGlxSurface(surface, true);
        return false;
    }
    if (!glXMakeCurrent(display, surface.drawable, surface.context)) {
        *error = "cannot make the GLX context current";
        releaseGlxSurface(surface, true);
        return false;
    }
    return true;
}

void resizeGlxSurface(GlxSurface& surface, int width, int height) {
    surface.width = width;
    surface.height = height;
    if (surface.ownChild && surface.drawable != 0) {
        XResizeWindow(surface.display, surface.drawable, width, height);
    }
}

void swapGlxSurface(GlxSurface& surface) {
    if (surface.drawable != 0) glXSwapBuffers(surface.display, surface.drawable);
}

void releaseGlxSurface(GlxSurface& surface, bool targetAlive) {
    if (surface.display == nullptr) return;
    if (surface.context != nullptr) {
        if (glXGetCurrentContext() == surface.context) glXMakeCurrent(surface.display, None, nullptr);
        glXDestroyContext(surface.display, surface.context);
    }
    if (surface.ownChild && targetAlive && surface.drawable != 0) {
        XDestroyWindow(surface.display, surface.drawable);
    }
    if (surface.colormap != 0) XFreeColormap(surface.display, surface.colormap);
    surface = GlxSurface{};
}

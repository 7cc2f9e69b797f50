// Test-only OpenGL: defines the GL and GLU entry points the scene calls and records them.
#include "gl_recorder.h"

#include <cmath>
#include <initializer_list>

#include "scene/gl_includes.h"

std::vector<GlCall>& glCalls() {
    static std::vector<GlCall> calls;
    return calls;
}

void clearGlCalls() { glCalls().clear(); }

namespace {
void record(const char* name, std::initializer_list<double> args) {
    glCalls().push_back(GlCall{name, std::vector<double>(args)});
}
// Values a vector-form light or material parameter carries.
int parameterCount(GLenum pname) { return pname == GL_SHININESS ? 1 : 4; }
void recordVector(const char* name, double a, double b, GLenum pname, const GLfloat* params) {
    GlCall call{name, {a, b}};
    for (int i = 0; i < parameterCount(pname); ++i) call.args.push_back(params[i]);
    glCalls().push_back(call);
}
}  // namespace

extern "C" {
void ORBIVANE_GLAPI glBegin(GLenum mode) { record("glBegin", {double(mode)}); }
void ORBIVANE_GLAPI glEnd(void) { record("glEnd", {}); }
void ORBIVANE_GLAPI glColor4ub(GLubyte r, GLubyte g, GLubyte b, GLubyte a) {
    record("glColor4ub", {double(r), double(g), double(b), double(a)});
}
void ORBIVANE_GLAPI glNormal3d(GLdouble x, GLdouble y, GLdouble z) { record("glNormal3d", {x, y, z}); }
void ORBIVANE_GLAPI glVertex3d(GLdouble x, GLdouble y, GLdouble z) { record("glVertex3d", {x, y, z}); }
void ORBIVANE_GLAPI glClear(GLbitfield mask) { record("glClear", {double(mask)}); }
void ORBIVANE_GLAPI glLoadIdentity(void) { record("glLoadIdentity", {}); }
void ORBIVANE_GLAPI glTranslated(GLdouble x, GLdouble y, GLdouble z) { record("glTranslated", {x, y, z}); }
void ORBIVANE_GLAPI glRotated(GLdouble angle, GLdouble x, GLdouble y, GLdouble z) {
    record("glRotated", {angle, x, y, z});
}
void ORBIVANE_GLAPI glLightModeli(GLenum pname, GLint param) {
    record("glLightModeli", {double(pname), double(param)});
}
void ORBIVANE_GLAPI glLightModelfv(GLenum pname, const GLfloat* params) {
    record("glLightModelfv", {double(pname), params[0], params[1], params[2], params[3]});
}
void ORBIVANE_GLAPI glLightfv(GLenum light, GLenum pname, const GLfloat* params) {
    recordVector("glLightfv", light, pname, pname, params);
}
void ORBIVANE_GLAPI glMaterialfv(GLenum face, GLenum pname, const GLfloat* params) {
    recordVector("glMaterialfv", face, pname, pname, params);
}
void ORBIVANE_GLAPI glShadeModel(GLenum mode) { record("glShadeModel", {double(mode)}); }
void ORBIVANE_GLAPI glEnable(GLenum cap) { record("glEnable", {double(cap)}); }
void ORBIVANE_GLAPI glDisable(GLenum cap) { record("glDisable", {double(cap)}); }
void ORBIVANE_GLAPI glFlush(void) { record("glFlush", {}); }
void ORBIVANE_GLAPI glViewport(GLint x, GLint y, GLsizei width, GLsizei height) {
    record("glViewport", {double(x), double(y), double(width), double(height)});
}
void ORBIVANE_GLAPI glMatrixMode(GLenum mode) { record("glMatrixMode", {double(mode)}); }
void ORBIVANE_GLAPI glHint(GLenum target, GLenum mode) { record("glHint", {double(target), double(mode)}); }
void ORBIVANE_GLAPI glBlendFunc(GLenum s, GLenum d) { record("glBlendFunc", {double(s), double(d)}); }
void ORBIVANE_GLAPI glClearColor(GLclampf r, GLclampf g, GLclampf b, GLclampf a) {
    record("glClearColor", {r, g, b, a});
}
void ORBIVANE_GLAPI glClearDepth(GLclampd depth) { record("glClearDepth", {depth}); }
void ORBIVANE_GLAPI glDepthFunc(GLenum func) { record("glDepthFunc", {double(func)}); }
// Vertex arrays: the draw call is recorded as the immediate-mode calls it stands for (colour and normal
// per corner), so a test can compare both submission paths.
namespace {
const GLvoid* vertexArray = nullptr;
const GLvoid* colourArray = nullptr;
const GLvoid* normalArray = nullptr;
GLenum colourType = GL_UNSIGNED_BYTE;
bool normalsOn = false;
}  // namespace
void ORBIVANE_GLAPI glVertexPointer(GLint, GLenum, GLsizei, const GLvoid* p) { vertexArray = p; }
void ORBIVANE_GLAPI glColorPointer(GLint, GLenum type, GLsizei, const GLvoid* p) {
    colourArray = p;
    colourType = type;
}
void ORBIVANE_GLAPI glNormalPointer(GLenum, GLsizei, const GLvoid* p) { normalArray = p; }
void ORBIVANE_GLAPI glEnableClientState(GLenum a) {
    record("glEnableClientState", {double(a)});
    if (a == GL_NORMAL_ARRAY) normalsOn = true;
}
void ORBIVANE_GLAPI glDisableClientState(GLenum a) {
    record("glDisableClientState", {double(a)});
    if (a == GL_NORMAL_ARRAY) normalsOn = false;
}
void ORBIVANE_GLAPI glDrawArrays(GLenum mode, GLint first, GLsizei count) {
    record("glDrawArrays", {double(mode), double(first), double(count)});
    const GLfloat* v = static_cast<const GLfloat*>(vertexArray);
    const GLubyte* c = static_cast<const GLubyte*>(colourArray);
    const GLfloat* cf = static_cast<const GLfloat*>(colourArray);
    const GLfloat* n = static_cast<const GLfloat*>(normalArray);
    for (GLint i = first; i < first + count; ++i) {
        // Byte colours as they are; float colours as the byte b whose b / 255.0f they are exactly, or
        // -1 for a value that glColor4ub could not have given.
        if (colourType == GL_FLOAT) {
            GlCall call{"corner.colour", {}};
            for (int k = 0; k < 4; ++k) {
                const GLfloat value = cf[4 * i + k];
                const long byte = std::lround(value * 255.0);
                const bool exact = byte >= 0 && byte <= 255 && static_cast<GLfloat>(byte) / 255.0f == value;
                call.args.push_back(exact ? static_cast<double>(byte) : -1.0);
            }
            glCalls().push_back(call);
        } else {
            record("corner.colour",
                   {double(c[4 * i]), double(c[4 * i + 1]), double(c[4 * i + 2]), double(c[4 * i + 3])});
        }
        if (normalsOn) record("corner.normal", {n[3 * i], n[3 * i + 1], n[3 * i + 2]});
        record("corner.vertex", {v[3 * i], v[3 * i + 1], v[3 * i + 2]});
    }
}
// Asked only by the buffer-object lookup; answers as a plain OpenGL 1.1 would. Not recorded.
const GLubyte* ORBIVANE_GLAPI glGetString(GLenum name) {
    static const GLubyte version[] = "1.1 recorder";
    static const GLubyte none[] = "";
    return name == GL_VERSION ? version : none;
}
GLenum ORBIVANE_GLAPI glGetError(void) { return GL_NO_ERROR; }
void ORBIVANE_GLAPI glDrawElements(GLenum mode, GLsizei count, GLenum type, const GLvoid*) {
    record("glDrawElements", {double(mode), double(count), double(type)});
}
void ORBIVANE_GLAPI gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar) {
    record("gluPerspective", {fovy, aspect, zNear, zFar});
}
}

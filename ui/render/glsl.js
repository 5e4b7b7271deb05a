// Shader sources. Everything is drawn premultiplied: colours leave the fragment shaders already
// multiplied by alpha, so "alpha" blending is (ONE, ONE_MINUS_SRC_ALPHA) and "add" is (ONE, ONE).

export const SHAPE_VS = `#version 300 es
layout(location=0) in vec2 aPos;
layout(location=1) in vec4 aCol;
layout(location=2) in vec3 aUv;
uniform vec2 uRes;
out vec4 vCol; out vec3 vUv;
void main() {
  vCol = aCol; vUv = aUv;
  vec2 p = aPos / uRes * 2.0 - 1.0;
  gl_Position = vec4(p.x, -p.y, 0.0, 1.0);
}`;

// vUv.z selects the shape: 0 flat, 1 soft glow, 2 solid disc, 3 soft-edged line,
// 10..11 ring with inner radius (z - 10) of the outer.
export const SHAPE_FS = `#version 300 es
precision mediump float;
in vec4 vCol; in vec3 vUv;
out vec4 o;
void main() {
  float a = vCol.a;
  float m = vUv.z;
  if (m > 0.5) {
    float d = length(vUv.xy);
    float aa = fwidth(d) * 1.2;
    if (m < 1.5) { float q = max(0.0, 1.0 - d); a *= q * q * q; }
    else if (m < 2.5) a *= 1.0 - smoothstep(1.0 - aa, 1.0, d);
    else if (m < 3.5) { float e = abs(vUv.y); a *= 1.0 - smoothstep(1.0 - fwidth(e) * 1.5, 1.0, e); }
    else { float inner = m - 10.0; a *= (1.0 - smoothstep(1.0 - aa, 1.0, d)) * smoothstep(inner - aa, inner, d); }
  }
  o = vec4(vCol.rgb * a, a);
}`;

export const QUAD_VS = `#version 300 es
const vec2 P[3] = vec2[3](vec2(-1.0, -1.0), vec2(3.0, -1.0), vec2(-1.0, 3.0));
out vec2 vUv;
void main() { vec2 p = P[gl_VertexID]; vUv = p * 0.5 + 0.5; gl_Position = vec4(p, 0.0, 1.0); }`;

// Moves the previous picture (zoom, rotation, shift about the centre) and dims it by uKeep.
export const FEEDBACK_FS = `#version 300 es
precision mediump float;
in vec2 vUv; out vec4 o;
uniform sampler2D uTex; uniform vec2 uRes; uniform vec4 uT; uniform float uKeep;
void main() {
  vec2 p = (vUv - 0.5) * uRes;
  float c = cos(uT.y), s = sin(uT.y);
  p = mat2(c, -s, s, c) * p / uT.x - uT.zw;
  vec2 q = p / uRes + 0.5;
  vec4 col = texture(uTex, q);
  float inside = step(0.0, q.x) * step(q.x, 1.0) * step(0.0, q.y) * step(q.y, 1.0);
  // The small subtraction lets trails reach black; 8-bit rounding would otherwise leave a haze.
  o = max(col * uKeep - vec4(1.5 / 255.0), 0.0) * inside;
}`;

// The output stage: colour mode finishing, transitions, blackout and a gentle vignette.
export const PRESENT_FS = `#version 300 es
precision mediump float;
in vec2 vUv; out vec4 o;
uniform sampler2D uTex; uniform float uMode; uniform float uDim; uniform float uZoom; uniform vec2 uRes;
void main() {
  vec2 q = (vUv - 0.5) / uZoom + 0.5;
  vec3 c = texture(uTex, q).rgb;
  vec2 v = (vUv - 0.5) * vec2(uRes.x / uRes.y, 1.0);
  c *= 1.0 - 0.35 * smoothstep(0.45, 1.15, length(v));
  float l = dot(c, vec3(0.299, 0.587, 0.114));
  if (uMode > 0.5 && uMode < 1.5) c = vec3(1.0 - l * 0.92);
  else if (uMode > 1.5 && uMode < 2.5) c = vec3(smoothstep(0.0, 1.0, l));
  else if (uMode > 2.5 && uMode < 3.5) c = vec3(smoothstep(0.26, 0.34, l));
  c *= uDim;
  o = vec4(c, 1.0);
}`;

// Shared by the full-screen fields: palette lookup matching palette.js.
export const FIELD_PRELUDE = `#version 300 es
precision highp float;
in vec2 vUv; out vec4 o;
uniform vec2 uRes; uniform float uTime; uniform vec4 uA; uniform vec4 uB; uniform vec4 uC;
uniform float uHueA; uniform float uHueB; uniform float uMode;
uniform float uSpec[32];
vec3 hsv(float h, float s, float v) {
  vec3 k = clamp(abs(mod(h / 60.0 + vec3(0.0, 4.0, 2.0), 6.0) - 3.0) - 1.0, 0.0, 1.0);
  return v * mix(vec3(1.0), k, s);
}
float hueAt(float t) {
  if (uMode > 3.5) return mod(t * 300.0, 360.0);
  float d = uHueB - uHueA;
  if (d > 180.0) d -= 360.0; else if (d < -180.0) d += 360.0;
  if (abs(d) < 8.0) d = 28.0;
  return uHueA + d * t;
}
vec3 pal(float t, float v) {
  v = clamp(v, 0.0, 1.0);
  if (uMode > 0.5 && uMode < 3.5) return vec3(uMode > 1.5 && uMode < 2.5 ? v * (0.8 + 0.2 * t) : v);
  float s = max(0.25, 0.95 - 2.5 * max(0.0, v - 0.88));
  return hsv(hueAt(t), s, v);
}
float spectrumAt(float x) {
  float f = clamp(x, 0.0, 1.0) * 31.0;
  int i = int(f);
  return mix(uSpec[i], uSpec[min(i + 1, 31)], f - float(i));
}
`;

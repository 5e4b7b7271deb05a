// The host records one edit per drag: a gesture opens on pointer-down, values follow while
// dragging, and the gesture closes on pointer-up (or when the pointer is lost).

export class SliderGesture {
  // host: { begin(id), set(id, v), end(id) }
  constructor(id, host) {
    this.id = id;
    this.host = host;
    this.active = false;
    this.last = undefined;
  }

  down(v) {
    if (this.active) return;
    this.active = true;
    this.host.begin(this.id);
    this.last = undefined;
    this.move(v);
  }

  move(v) {
    if (!this.active || v === this.last) return;
    this.last = v;
    this.host.set(this.id, v);
  }

  up() {
    if (!this.active) return;
    this.active = false;
    this.host.end(this.id);
  }

  // A single complete edit (a click on a choice, a reset), still as one gesture.
  tap(v) {
    this.down(v);
    this.up();
  }
}

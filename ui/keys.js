// The one shortcut table. Keys reach it from the page's own keydown events and from the host
// ("vistrel-key" {code}), which forwards only a fixed set of codes (Shift+S arrives as plain KeyS).

export const SHORTCUTS = [
  { codes: ['ArrowRight'], action: 'nextScene', label: '→', help: 'Next scene' },
  { codes: ['ArrowLeft'], action: 'prevScene', label: '←', help: 'Previous scene' },
  { codes: ['ArrowUp'], action: 'reactUp', label: '↑', help: 'React +5 %' },
  { codes: ['ArrowDown'], action: 'reactDown', label: '↓', help: 'React −5 %' },
  { codes: digitCodes(), action: 'digit', label: '1 – 9', help: 'Pick a scene (two digits quickly: 10 – 34)' },
  { codes: ['Enter', 'NumpadEnter', 'KeyA'], action: 'toggleAutoPilot', label: 'Enter / A', help: 'Auto pilot on / off' },
  { codes: ['Escape'], action: 'escape', label: 'Esc', help: 'Close panels' },
  { codes: ['KeyH'], action: 'hideUi', label: 'H', help: 'Hide / show all controls' },
  { codes: ['KeyF'], action: 'fullscreen', label: 'F', help: 'Full screen' },
  { codes: ['KeyB'], action: 'panel', label: 'B', help: 'Show / hide the control board' },
  { codes: ['KeyR'], action: 'record', label: 'R', help: 'Start / stop recording' },
  { codes: ['KeyS'], shift: true, action: 'still', label: 'Shift+S', help: 'Save a still image' },
  { codes: ['Slash'], action: 'help', label: '/', help: 'This help' },
];

function digitCodes() {
  const c = [];
  for (let d = 0; d <= 9; d++) c.push('Digit' + d, 'Numpad' + d);
  return c;
}

// Finds the table entry for a code. `shift` is undefined for host-forwarded keys, whose
// modifiers were already checked on the native side.
export function lookupKey(code, shift) {
  for (const s of SHORTCUTS) {
    if (!s.codes.includes(code)) continue;
    if (s.shift && shift === false) return null;
    return s;
  }
  return null;
}

export function digitOf(code) {
  const m = /^(?:Digit|Numpad)(\d)$/.exec(code);
  return m ? Number(m[1]) : -1;
}

// Typing two digits in quick succession picks scenes 10 to 34, like a TV remote: the first
// digit selects its scene at once; a second digit within the window refines it.
export class DigitEntry {
  constructor(maxScene, windowMs = 900) { this.max = maxScene; this.windowMs = windowMs; this.first = -1; this.at = 0; }
  press(d, now) {
    if (this.first > 0 && now - this.at <= this.windowMs) {
      const two = this.first * 10 + d;
      this.first = -1;
      if (two <= this.max) return two;
    }
    if (d === 0) { this.first = -1; return -1; }
    this.first = d; this.at = now;
    return d;
  }
}

export class KeyRouter {
  constructor(actions, { maxScene = 34, now = () => Date.now() } = {}) {
    this.actions = actions;
    this.digits = new DigitEntry(maxScene);
    this.now = now;
  }

  // Returns true when the key was a shortcut (so the caller can prevent the default).
  handle(code, shift) {
    const s = lookupKey(code, shift);
    if (!s) return false;
    if (s.action === 'digit') {
      const scene = this.digits.press(digitOf(code), this.now());
      if (scene > 0) this.actions.pickScene?.(scene);
      return true;
    }
    this.actions[s.action]?.();
    return true;
  }
}

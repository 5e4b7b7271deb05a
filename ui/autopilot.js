// Auto pilot: changes scene on bar boundaries, picking a scene whose character suits how
// energetic the music is right now. Busy music changes every 4 bars, calm music every 8.

export class AutoPilot {
  // energies[i] is the character of scene i + 1, from 0 (calm) to 1 (intense).
  constructor(energies, { random = Math.random } = {}) {
    this.energies = energies;
    this.random = random;
    this.prevBar = -1;
    this.bars = 0;
    this.energy = 0.3;
    this.recent = [];
  }

  // Music energy from one frame: loudness with onsets, kicks and hits on top; smoothed over a
  // few seconds so a single hit does not decide the next scene.
  observe(frame, dt) {
    const e = Math.min(1, 0.55 * frame.loud + 0.2 * frame.onset + 0.15 * frame.kick +
      0.1 * (frame.hits[1] + frame.hits[2]) * 0.5 + 0.15 * frame.punch) * (1 - frame.idle);
    const k = 1 - Math.exp(-dt / 3);
    this.energy += k * (e - this.energy);
  }

  // Returns a new scene number when a bar boundary calls for a change, else 0.
  step(barPhase, current, enabled) {
    // The bar phase only runs backwards at a bar line (or when the host jumps).
    const wrapped = this.prevBar >= 0 && barPhase < this.prevBar - 0.3;
    this.prevBar = barPhase;
    if (!enabled) { this.bars = 0; return 0; }
    if (!wrapped) return 0;
    this.bars++;
    if (this.bars < this.barsPerScene()) return 0;
    this.bars = 0;
    return this.choose(current);
  }

  barsPerScene() { return this.energy > 0.55 ? 4 : 8; }

  choose(current) {
    const n = this.energies.length;
    const e = this.energy;
    // Candidates whose character is close to the music's energy; widen until some remain.
    for (let tol = 0.2; tol <= 1.01; tol += 0.2) {
      const pool = [];
      for (let i = 1; i <= n; i++) {
        if (i === current || this.recent.includes(i)) continue;
        if (Math.abs(this.energies[i - 1] - e) <= tol) pool.push(i);
      }
      if (pool.length) {
        const pick = pool[Math.min(pool.length - 1, Math.floor(this.random() * pool.length))];
        this.remember(current);
        return pick;
      }
    }
    return 0;
  }

  remember(s) {
    if (s > 0) this.recent.push(s);
    if (this.recent.length > 6) this.recent.shift();
  }
}

// What the scenes read: the newest frame, scaled by `react`, calmed by `idle`, with the beat
// running on between frames so motion locked to the beat stays smooth at any refresh rate.

export class Audio {
  constructor() {
    this.spectrumLevels = new Float32Array(256);   // 0..1 per display band, react-scaled
    this.specRaw = new Float32Array(256); // 0..1, unscaled (for things that must stay legible)
    this.mono = new Float32Array(256);   // -1..1
    this.left = new Float32Array(256);
    this.right = new Float32Array(256);
    this.t = 0; this.dt = 1 / 60;
    this.gain = 1; this.idle = 1;
    this.level = 0; this.peak = 0; this.loud = 0; this.bass = 0; this.mid = 0; this.high = 0;
    this.kick = 0; this.punch = 0; this.onset = 0; this.hitK = 0; this.hitM = 0; this.hitH = 0;
    this.bright = 0; this.rolloff = 0; this.flat = 0; this.trans = 0; this.sus = 0;
    this.stereo = 0; this.bpm = 120; this.beat = 0; this.bar = 0; this.beatConf = 0;
    this.beats = 0; this.bars = 0; this.beatHit = false; this.barHit = false;
    this.note = -1; this.vel = 0; this.noteOn = 0; this.noteHit = false;
    this.tsNum = 4; this.tsDen = 4; this.playing = 0;
    this.energy = 0;
    this.lastNoteCount = -1;
    this.lastBeat = 0; this.lastBar = 0;
    this.frameAt = 0; this.frameBeat = 0; this.frameBar = 0;
  }

  // Called once per received frame, at time `now` in seconds.
  takeFrame(f, now) {
    this.frameAt = now;
    this.frameBeat = f.beatPhase;
    this.frameBar = f.barPhase;
    this.bpm = f.bpm > 1 ? f.bpm : 120;
    if (f.noteCount !== this.lastNoteCount) {
      if (this.lastNoteCount >= 0 && f.note >= 0) this.noteHit = true;
      this.lastNoteCount = f.noteCount;
    }
  }

  // Called once per rendered picture with the newest frame.
  update(f, react, now, dt) {
    this.dt = dt;
    this.t += dt;
    this.idle = f.idle;
    // React 85 % (the default) is the picture as analysed; 100 % a little more, 0 % still.
    const g = Math.min(1.2, react / 85) * (1 - 0.85 * f.idle);
    this.gain = g;
    const k = 1 - Math.exp(-dt * 30);
    for (let i = 0; i < 256; i++) {
      const x = f.spectrum[i] / 255;
      this.specRaw[i] += k * (x - this.specRaw[i]);
      this.spectrumLevels[i] = Math.min(1, this.specRaw[i] * g);
      this.mono[i] = ((f.mono[i] - 128) / 128) * g;
      this.left[i] = ((f.left[i] - 128) / 128) * g;
      this.right[i] = ((f.right[i] - 128) / 128) * g;
    }
    const c = (x) => Math.min(1, x * g);
    this.level = c(f.rms); this.peak = c(f.peak); this.loud = c(f.loud);
    this.bass = c(f.bands[0]); this.mid = c(f.bands[1]); this.high = c(f.bands[2]);
    this.kick = c(f.kick); this.punch = c(f.punch); this.onset = c(f.onset);
    this.hitK = c(f.hits[0]); this.hitM = c(f.hits[1]); this.hitH = c(f.hits[2]);
    this.bright = f.timbre[0]; this.rolloff = f.timbre[1]; this.flat = f.timbre[2];
    this.trans = c(f.ts[0]); this.sus = f.ts[1];
    this.stereo = c(f.stereo);
    this.beatConf = f.beatConf;
    this.tsNum = f.tsNum > 0 ? f.tsNum : 4; this.tsDen = f.tsDen > 0 ? f.tsDen : 4;
    this.playing = f.playing;
    this.note = f.note; this.vel = f.vel;
    this.noteOn = this.noteHit ? Math.max(0.35, f.vel) * g : this.noteOn * Math.exp(-dt * 3);
    // Run the phases on from the frame's values for at most a tenth of a second.
    const ahead = Math.min(0.1, Math.max(0, now - this.frameAt)) * this.bpm / 60;
    const beat = (this.frameBeat + ahead) % 1;
    const barBeats = Math.max(1, this.tsNum * 4 / this.tsDen);
    const bar = (this.frameBar + ahead / barBeats) % 1;
    this.beatHit = beat < this.lastBeat - 0.5;
    this.barHit = bar < this.lastBar - 0.5;
    if (this.beatHit) this.beats++;
    if (this.barHit) this.bars++;
    this.beat = beat; this.bar = bar;
    this.lastBeat = beat; this.lastBar = bar;
    this.energy += (1 - Math.exp(-dt * 2)) * (0.6 * this.loud + 0.4 * this.onset - this.energy);
    this.noteHit = false;
  }

  // A 0..1 pulse that peaks on the beat and falls away over it, scaled by beat confidence and
  // level, so silence and unsure tempos do not pump the picture.
  pulse(sharp = 4) {
    return Math.exp(-this.beat * sharp) * (0.35 + 0.65 * this.beatConf) * Math.min(1, this.gain) * (1 - this.idle);
  }
}

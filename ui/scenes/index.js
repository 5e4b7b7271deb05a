// The scene list, in parameter order (scene 1 first). The numbers are part of saved sessions
// and host automation, so new scenes go at the end.
import { spectrumBars, radialSpectrum, waterfall, ridgelines, dotMatrix, horizon } from './spectrum.js';
import { oscilloscope, stereoXY, circularScope, ribbons, stereoCurtains } from './scopes.js';
import { hitBurst, starfield, flowField, digitalRain, fireworks, spiralGalaxy } from './particles.js';
import { kickRings, beatGrid, polygonLock, hexLattice, barClock, waveMesh, sunburst } from './geometry.js';
import { plasma, lava, kaleidoscope, aurora, zoomTunnel, strobeSlices, FIELD_SHADERS } from './fields.js';
import { noteWheel, bandPillars, pulseOrb, lightning } from './dynamics.js';

export const SCENES = [
  spectrumBars, oscilloscope, radialSpectrum, stereoXY, kickRings, waterfall, hitBurst, zoomTunnel,
  plasma, ridgelines, starfield, beatGrid, polygonLock, circularScope, noteWheel, lava,
  kaleidoscope, ribbons, flowField, bandPillars, pulseOrb, hexLattice, spiralGalaxy, digitalRain,
  strobeSlices, aurora, stereoCurtains, horizon, dotMatrix, barClock, lightning, waveMesh,
  fireworks, sunburst,
];

export { FIELD_SHADERS };

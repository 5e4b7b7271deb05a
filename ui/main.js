import * as bridge from './bridge.js';
import { App } from './app.js';

const q = new URLSearchParams(location.search);
const app = new App(bridge, document, { forceCanvas: q.has('canvas') });
if (q.has('scale')) app.engine.fixedScale = Number(q.get('scale')) || 0;
window.vistrel = app;
app.start();

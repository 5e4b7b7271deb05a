import * as bridge from './bridge.js';
import { App } from './app.js';

const app = new App(bridge, document, { forceCanvas: new URLSearchParams(location.search).has('canvas') });
window.vistrel = app;
app.start();

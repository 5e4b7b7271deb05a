// The page's end of the native bridge: events both ways and native functions as promises, over
// the WebSocket of the server that serves this page. The message shapes are in the README
// ("The page bridge"). Imported by every page; it connects by itself and reconnects after a
// dropped socket.

const SOCKET_NAME = 'ws';
const RAW_TAIL_MIN = 1024;        // a last string argument longer than this travels unescaped
const MAX_QUEUED_EVENTS = 256;    // events emitted while disconnected, sent on (re)connect
const RETRY_FIRST_MS = 250;
const RETRY_MAX_MS = 2000;

const eventListeners = new Map();     // eventId -> Map(token -> fn)
const connectionListeners = new Map(); // token -> fn
const tokenOwners = new Map();        // token -> eventId, or null for connection listeners
const pendingCalls = new Map();       // callId -> { resolve, reject }
const queuedEvents = [];              // texts waiting for an open socket
const queuedCalls = [];               // texts of calls made while connecting

let socket = null;
let connected = false;
let nextToken = 1;
let nextCallId = 1;
let retryMs = RETRY_FIRST_MS;
let retryTimer = null;

function accessToken() {
  if (typeof location === 'undefined') return '';
  return location.pathname.split('/')[1] || '';
}

/** The page's own full address, token included: open it in any browser on this machine. */
export function pageAddress() {
  if (typeof location === 'undefined') return '';
  return `${location.origin}/${accessToken()}/`;
}

function socketAddress() {
  const scheme = location.protocol === 'https:' ? 'wss:' : 'ws:';
  return `${scheme}//${location.host}/${accessToken()}/${SOCKET_NAME}`;
}

function canConnect() {
  return typeof WebSocket !== 'undefined' && typeof location !== 'undefined'
    && (location.protocol === 'http:' || location.protocol === 'https:');
}

function encodeValue(value) {
  if (value === undefined) return ['u', ''];
  if (typeof value === 'string') return ['s', value];
  return ['j', JSON.stringify(value)];
}

function decodeValue(kind, body) {
  if (kind === 's') return body;
  if (kind === 'j') return JSON.parse(body);
  return undefined;
}

function report(error) {
  // A listener's fault must not stop the others or the bridge; it still shows in the console.
  setTimeout(() => { throw error; }, 0);
}

function notifyConnection(state) {
  for (const fn of connectionListeners.values()) {
    try { fn(state); } catch (error) { report(error); }
  }
}

function dispatchEvent(eventId, payload) {
  const listeners = eventListeners.get(eventId);
  if (!listeners) return;
  for (const fn of listeners.values()) {
    try { fn(payload); } catch (error) { report(error); }
  }
}

function settleCall(callId, settle) {
  const pending = pendingCalls.get(callId);
  if (!pending) return;
  pendingCalls.delete(callId);
  settle(pending);
}

function handleMessage(text) {
  if (typeof text !== 'string') return;
  const newline = text.indexOf('\n');
  const head = newline < 0 ? text : text.slice(0, newline);
  const body = newline < 0 ? '' : text.slice(newline + 1);
  const fields = head.split(' ');

  switch (fields[0]) {
    case 'e': {                                    // e <kind> <eventId>
      let payload;
      try { payload = decodeValue(fields[1], body); } catch (error) { report(error); return; }
      dispatchEvent(fields[2], payload);
      break;
    }
    case 'r': {                                    // r <callId> <kind>
      const callId = Number(fields[1]);
      settleCall(callId, (pending) => {
        try { pending.resolve(decodeValue(fields[2], body)); } catch (error) { pending.reject(error); }
      });
      break;
    }
    case 'x': {                                    // x <callId>, then the reason
      const callId = Number(fields[1]);
      if (callId === 0) { console.warn(`vistrel bridge: ${body}`); break; }
      settleCall(callId, (pending) => pending.reject(new Error(body)));
      break;
    }
    default:
      console.warn('vistrel bridge: unknown message', head);
  }
}

function rejectAllCalls(reason) {
  const calls = [...pendingCalls.values()];
  pendingCalls.clear();
  queuedCalls.length = 0;
  for (const pending of calls) pending.reject(new Error(reason));
}

function scheduleReconnect() {
  if (retryTimer !== null) return;
  retryTimer = setTimeout(() => { retryTimer = null; connect(); }, retryMs);
  retryMs = Math.min(retryMs * 2, RETRY_MAX_MS);
}

function connect() {
  if (!canConnect() || socket !== null) return;

  const ws = new WebSocket(socketAddress());
  socket = ws;

  ws.onopen = () => {
    connected = true;
    retryMs = RETRY_FIRST_MS;
    for (const text of queuedCalls.splice(0)) ws.send(text);
    for (const text of queuedEvents.splice(0)) ws.send(text);
    notifyConnection(true);
  };

  ws.onmessage = (event) => handleMessage(event.data);

  ws.onclose = () => {
    const wasConnected = connected;
    socket = null;
    connected = false;
    rejectAllCalls(wasConnected ? 'vistrel bridge: connection lost' : 'vistrel bridge: could not connect');
    if (wasConnected) notifyConnection(false);
    scheduleReconnect();
  };

  ws.onerror = () => { /* onclose follows and handles it */ };
}

function sendOrQueue(text, queue) {
  if (connected && socket !== null) {
    socket.send(text);
    return true;
  }
  if (queue === queuedEvents && queuedEvents.length >= MAX_QUEUED_EVENTS) queuedEvents.shift();
  queue.push(text);
  return false;
}

/** Calls fn(payload) for each event of this ID from the native side; returns a removal token. */
export function addEventListener(eventId, fn) {
  const token = nextToken++;
  if (!eventListeners.has(eventId)) eventListeners.set(eventId, new Map());
  eventListeners.get(eventId).set(token, fn);
  tokenOwners.set(token, eventId);
  return token;
}

/** Removes a listener added by addEventListener or onConnectionChange. */
export function removeEventListener(token) {
  if (!tokenOwners.has(token)) return;
  const eventId = tokenOwners.get(token);
  tokenOwners.delete(token);
  if (eventId === null) { connectionListeners.delete(token); return; }
  const listeners = eventListeners.get(eventId);
  if (!listeners) return;
  listeners.delete(token);
  if (listeners.size === 0) eventListeners.delete(eventId);
}

/** Sends an event to the native side. Emitted while disconnected, it waits for the connection. */
export function emitEvent(eventId, payload) {
  const [kind, body] = encodeValue(payload);
  sendOrQueue(`e ${kind} ${eventId}\n${body}`, queuedEvents);
}

/** A function that calls the native function `name` and resolves with its answer (a string of
    JSON for most, undefined for void). It rejects, never hangs, when the connection drops. */
export function getNativeFunction(name) {
  return (...args) => new Promise((resolve, reject) => {
    if (!connected && socket === null) {
      reject(new Error('vistrel bridge: not connected'));
      return;
    }
    const callId = nextCallId++;
    const last = args[args.length - 1];
    const text = (typeof last === 'string' && last.length > RAW_TAIL_MIN)
      ? `c ${callId} ${name} t\n${JSON.stringify(args.slice(0, -1))}\n${last}`
      : `c ${callId} ${name}\n${JSON.stringify(args)}`;
    pendingCalls.set(callId, { resolve, reject });
    sendOrQueue(text, queuedCalls);
  });
}

/** Calls fn(connected) whenever the bridge connects or loses its connection; returns a token
    for removeEventListener. */
export function onConnectionChange(fn) {
  const token = nextToken++;
  connectionListeners.set(token, fn);
  tokenOwners.set(token, null);
  return token;
}

/** Whether the socket is open now. */
export function isConnected() {
  return connected;
}

connect();

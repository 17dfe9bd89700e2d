// A scripted stand-in for the native bridge. It is injected before the page's
// own script runs, defines the thirteen bound functions like the native side
// does (each returns a promise of an already-parsed value) and records every
// call with its arguments and the page clock's time.
//
// A scripted reply is one of:
//   { value: v }            resolve with a copy of v
//   { reject: 'message' }   reject with an Error carrying the message
//   { pending: true }       never settle
//   { sequence: [s1, s2] }  use s1, s2, ... in turn; the last one repeats

export const bridgeNames = [
  'startGame',
  'getConfig',
  'saveConfig',
  'getResolutions',
  'getUpdateStatus',
  'checkUpdate',
  'fixClient',
  'cancelUpdate',
  'checkLauncherUpdate',
  'applyLauncherUpdate',
  'minimizeWindow',
  'closeWindow',
  'getLauncherVersion',
];

export function status(state, progress, message, canStart = true) {
  return {value: {state, progress, message, canStart, errorDetail: '', version: ''}};
}

export const defaultReplies = {
  getLauncherVersion: {value: '1.0.3'},
  getConfig: {
    value:
        {resolution: '1600x900', windowed: false, vsync: true, antiAliasing: 4, version: '1.0.0.0'},
  },
  getResolutions: {
    value: [
      {width: 1024, height: 768, label: '1024x768'},
      {width: 1600, height: 900, label: '1600x900'},
      {width: 1920, height: 1080, label: '1920x1080'},
    ],
  },
  getUpdateStatus: status('complete', 100, 'Game is up to date'),
};

// The replies of one test travel in the page address's "bridge" parameter, so
// one browser page serves every test: each test loads the page afresh.
export function bridgeQuery(replies) {
  return `?bridge=${encodeURIComponent(JSON.stringify({...defaultReplies, ...replies}))}`;
}

// Runs inside the page before its script (serialised by addInitScript): it may
// use nothing from this module's scope. Without a "bridge" parameter it does
// nothing and the page finds no native side.
export function installFakeBridge(names) {
  const encoded = new URLSearchParams(window.location.search).get('bridge');
  if (encoded === null) {
    return;
  }
  const bridge = {calls: [], replies: JSON.parse(encoded)};
  window.fakeBridge = bridge;

  const nextReply = (name) => {
    let reply = bridge.replies[name] || {value: true};
    if (reply.sequence) {
      reply = reply.sequence.length > 1 ? reply.sequence.shift() : reply.sequence[0];
    }
    return reply;
  };

  for (const name of names) {
    window[`api_${name}`] = (...args) => {
      bridge.calls.push({name, args, time: Date.now()});
      const reply = nextReply(name);
      if (reply.pending) {
        return new Promise(() => {});
      }
      if (reply.reject !== undefined) {
        return Promise.reject(new Error(reply.reject));
      }
      return Promise.resolve(structuredClone(reply.value));
    };
  }
}

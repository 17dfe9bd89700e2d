// Launcher page script: display settings, update progress and the start button.
// Every native operation is a bound global function "api_<name>" that returns a
// promise of the already-parsed JSON reply. Opened in an ordinary browser the
// page installs stand-ins for them (mock mode) so its layout and flow still run.
'use strict';

const LAUNCHER_POLL_INTERVAL_MS = 300;
const GAME_POLL_INTERVAL_MS = 500;
const APPLY_LAUNCHER_UPDATE_DELAY_MS = 1000;
const HIDE_UPDATE_PANEL_DELAY_MS = 1500;

// States that end the launcher self-update check.
const LAUNCHER_CHECK_END_STATES = ['uptodate', 'idle', 'complete', 'error'];
// States that end the game update poll; every other state keeps it running.
const GAME_UPDATE_END_STATES = ['complete', 'idle'];

// The download speed is measured over the statuses of this last stretch of time.
const SPEED_WINDOW_MS = 3000;
const BYTE_UNITS = ['B', 'KB', 'MB', 'GB', 'TB'];

const START_LABEL = 'START GAME';
const LAUNCHING_LABEL = 'LAUNCHING...';

// ---------------------------------------------------------------------------
// Bridge

const api = {
  getConfig: () => api_getConfig(),
  saveConfig: (json) => api_saveConfig(json),
  getResolutions: () => api_getResolutions(),
  getUpdateStatus: () => api_getUpdateStatus(),
  checkUpdate: () => api_checkUpdate(),
  checkLauncherUpdate: () => api_checkLauncherUpdate(),
  applyLauncherUpdate: () => api_applyLauncherUpdate(),
  startGame: () => api_startGame(),
  minimizeWindow: () => api_minimizeWindow(),
  closeWindow: () => api_closeWindow(),
  getLauncherVersion: () => api_getLauncherVersion(),
};

function isMockMode() { return typeof window.api_getConfig === 'undefined'; }

// Native replies arrive parsed; mock replies arrive as JSON text.
function parseIfNeeded(data) { return typeof data === 'string' ? JSON.parse(data) : data; }

function installMockApi() {
  console.log('Running in standalone browser mode (mock API)');

  const answer = (reply) => async () => reply;
  const announced = (name) => async () => {
    console.log(name);
    return 'true';
  };

  window.api_getConfig = answer(
      '{"resolution":"1920x1080","windowed":false,"vsync":true,"antiAliasing":4,"version":"1.0.0.0"}');
  window.api_saveConfig = async (json) => {
    console.log('saveConfig:', json);
    return 'true';
  };
  window.api_getResolutions = answer(
      '[{"width":1920,"height":1080,"label":"1920 x 1080"},' +
      '{"width":1600,"height":900,"label":"1600 x 900"},' +
      '{"width":1280,"height":720,"label":"1280 x 720"}]');
  window.api_getUpdateStatus =
      answer('{"state":"complete","progress":100,"message":"Ready to play","canStart":true}');
  window.api_getLauncherVersion = answer('1.0.0');
  const announcedNames = [
    'api_checkUpdate',
    'api_startGame',
    'api_minimizeWindow',
    'api_closeWindow',
    'api_checkLauncherUpdate',
    'api_applyLauncherUpdate',
  ];
  for (const name of announcedNames) {
    window[name] = announced(name);
  }
}

if (isMockMode()) {
  installMockApi();
}

// ---------------------------------------------------------------------------
// Small helpers

function byId(id) { return document.getElementById(id); }

function delay(ms) { return new Promise((resolve) => setTimeout(resolve, ms)); }

// Calls `tick` every `intervalMs` until it returns true. The next tick is
// scheduled only after the previous one finished, so a slow reply never leads
// to two status calls in flight or to one state being handled twice.
async function pollEvery(intervalMs, tick) {
  for (;;) {
    await delay(intervalMs);
    if (await tick()) {
      return;
    }
  }
}

function setProgressText(text) { byId('progressText').textContent = text; }

// Shows the "progress" and "message" of a status record.
function showProgress(status) {
  const percent = Number(status.progress);
  if (Number.isFinite(percent)) {
    byId('progressFill').style.width = `${Math.min(100, Math.max(0, percent))}%`;
  }
  setProgressText(status.message === undefined ? '' : String(status.message));
}

// "312 MB", "1.2 GB", "512 B": binary units, one decimal below 100.
function formatBytes(bytes) {
  let value = Math.max(0, bytes);
  let unit = 0;
  while (value >= 1024 && unit < BYTE_UNITS.length - 1) {
    value /= 1024;
    unit += 1;
  }
  const digits = unit === 0 || value >= 100 ? 0 : 1;
  return `${value.toFixed(digits)} ${BYTE_UNITS[unit]}`;
}

// Byte counts of the recent "downloading" statuses, for the speed.
let transferSamples = [];

// Bytes per second over the samples of the last SPEED_WINDOW_MS, or null while
// there is too little to tell.
function recentSpeed(now, bytes) {
  const last = transferSamples[transferSamples.length - 1];
  if (last !== undefined && bytes < last.bytes) {
    transferSamples = [];  // a new pass started counting again
  }
  transferSamples.push({time: now, bytes});
  transferSamples = transferSamples.filter((sample) => now - sample.time <= SPEED_WINDOW_MS);
  const first = transferSamples[0];
  const seconds = (now - first.time) / 1000;
  return seconds > 0 ? (bytes - first.bytes) / seconds : null;
}

// Under the status text while downloading: "312 MB of 1.2 GB \u00B7 8.4 MB/s".
function showTransfer(status) {
  const done = Number(status.bytesComplete);
  const total = Number(status.bytesTotal);
  const detail = byId('progressDetail');
  if (status.state !== 'downloading' || !(total > 0) || !Number.isFinite(done)) {
    transferSamples = [];
    detail.textContent = '';
    return;
  }
  const speed = recentSpeed(Date.now(), done);
  const figures = `${formatBytes(done)} of ${formatBytes(total)}`;
  detail.textContent = speed === null ? figures : `${figures} \u00B7 ${formatBytes(speed)}/s`;
}

function setStartButton(enabled, label) {
  const button = byId('startButton');
  button.disabled = !enabled;
  if (label !== undefined) {
    button.textContent = label;
  }
}

function hideUpdatePanel() { byId('updatePanel').style.display = 'none'; }

// ---------------------------------------------------------------------------
// Tabs and window buttons

function switchTab(name) {
  for (const button of document.querySelectorAll('.tab-btn')) {
    button.classList.toggle('active', button.dataset.tab === name);
  }
  for (const content of document.querySelectorAll('.tab-content')) {
    content.classList.toggle('active', content.id === `tab-${name}`);
  }
}

async function minimizeWindow() {
  try {
    await api.minimizeWindow();
  } catch (error) {
    console.error('Failed to minimize:', error);
  }
}

async function closeWindow() {
  try {
    await api.closeWindow();
  } catch (error) {
    console.error('Failed to close:', error);
  }
}

// ---------------------------------------------------------------------------
// Version and display settings

async function loadLauncherVersion() {
  const label = byId('launcherVersion');
  try {
    label.textContent = await api.getLauncherVersion();
  } catch (error) {
    console.error('Failed to get launcher version:', error);
    label.textContent = '?.?.?';
  }
}

function applyConfig(config) {
  if (config.resolution) {
    // A value missing from the list leaves the list without a selection.
    byId('resolution').value = config.resolution;
  }
  byId('antiAliasing').value = String(config.antiAliasing || 0);
  byId('windowed').checked = config.windowed === true;
  byId('vsync').checked = config.vsync !== false;
}

async function loadConfig() {
  try {
    applyConfig(parseIfNeeded(await api.getConfig()));
  } catch (error) {
    console.error('Failed to load config:', error);
  }
}

function resolutionOption(entry) {
  const value = `${entry.width}x${entry.height}`;
  return new Option(entry.label === undefined ? value : String(entry.label), value);
}

async function loadResolutions() {
  try {
    const entries = parseIfNeeded(await api.getResolutions());
    byId('resolution').replaceChildren(...entries.map(resolutionOption));
    await loadConfig();
  } catch (error) {
    console.error('Failed to load resolutions:', error);
  }
}

// The record's key order and types are what the native side expects:
// resolution (text), antiAliasing (integer), windowed and vsync (booleans).
function readSettingsRecord() {
  return {
    resolution: byId('resolution').value,
    antiAliasing: Number.parseInt(byId('antiAliasing').value, 10) || 0,
    windowed: byId('windowed').checked,
    vsync: byId('vsync').checked,
  };
}

async function saveConfig() {
  try {
    await api.saveConfig(JSON.stringify(readSettingsRecord()));
  } catch (error) {
    console.error('Failed to save config:', error);
  }
}

function attachSaveListeners() {
  for (const id of ['resolution', 'antiAliasing', 'windowed', 'vsync']) {
    byId(id).addEventListener('change', saveConfig);
  }
}

// ---------------------------------------------------------------------------
// Launcher self-update check

// Handles one status of the launcher check; returns true when the check ends.
async function launcherCheckTick() {
  let status;
  try {
    status = parseIfNeeded(await api.getUpdateStatus());
    showProgress(status);
  } catch (error) {
    console.error('Failed to get launcher update status:', error);
    return true;
  }
  console.log('Launcher update status:', status.state, status.progress, status.message);

  if (status.state === 'launcher_update_ready') {
    setProgressText('Launcher update available! Restarting...');
    // The native side replaces this process; nothing waits for the reply.
    setTimeout(() => api.applyLauncherUpdate(), APPLY_LAUNCHER_UPDATE_DELAY_MS);
    return true;
  }
  return LAUNCHER_CHECK_END_STATES.includes(status.state);
}

async function checkLauncherUpdate() {
  console.log('checkLauncherUpdate() called');
  setProgressText('Checking for launcher updates...');
  try {
    await api.checkLauncherUpdate();
  } catch (error) {
    console.error('Failed to check launcher update:', error);
    return;
  }
  await pollEvery(LAUNCHER_POLL_INTERVAL_MS, launcherCheckTick);
}

// ---------------------------------------------------------------------------
// Game update

function enableStartButton() {
  setStartButton(true);
  hideUpdatePanel();
}

// Handles one status of the game update; returns true when the poll ends.
async function gameUpdateTick() {
  let status;
  try {
    status = parseIfNeeded(await api.getUpdateStatus());
    showProgress(status);
    showTransfer(status);
  } catch (error) {
    console.error('Failed to get update status:', error);
    enableStartButton();
    return true;
  }
  setStartButton(status.canStart !== false);
  byId('progressText').classList.toggle('error', status.state === 'error');

  if (GAME_UPDATE_END_STATES.includes(status.state)) {
    setTimeout(hideUpdatePanel, HIDE_UPDATE_PANEL_DELAY_MS);
    return true;
  }
  return false;
}

function pollUpdateStatus() { return pollEvery(GAME_POLL_INTERVAL_MS, gameUpdateTick); }

async function checkForUpdates() {
  try {
    await api.checkUpdate();
  } catch (error) {
    console.error('Failed to check updates:', error);
    enableStartButton();
    return;
  }
  await pollUpdateStatus();
}

// ---------------------------------------------------------------------------
// Game start

async function startGame() {
  setStartButton(false, LAUNCHING_LABEL);
  try {
    // A reply of false leaves the button as it is: the game update poll, while
    // it runs, decides when starting is possible again.
    await api.startGame();
  } catch (error) {
    console.error('Failed to start game:', error);
    setStartButton(true, START_LABEL);
  }
}

// ---------------------------------------------------------------------------
// Start-up

async function startUp() {
  await loadLauncherVersion();
  await loadConfig();
  await loadResolutions();
  await checkLauncherUpdate();
  checkForUpdates();
  attachSaveListeners();
}

if (document.readyState === 'loading') {
  document.addEventListener('DOMContentLoaded', startUp);
} else {
  startUp();
}

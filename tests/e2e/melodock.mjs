// Starts the real binary (MELODOCK_BINARY) on a free loopback port with user folders
// of its own, and stops it again.
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import { randomBytes } from 'node:crypto';
import { mkdtemp, mkdir, readFile, readlink, realpath, rm, writeFile } from 'node:fs/promises';
import { createServer } from 'node:net';
import { tmpdir } from 'node:os';
import { join } from 'node:path';

import { Client } from '@modelcontextprotocol/sdk/client/index.js';
import { StreamableHTTPClientTransport } from '@modelcontextprotocol/sdk/client/streamableHttp.js';

// A sanitized binary starts far slower, so the build tree may raise this.
const startupTimeoutMs = Number(process.env.MELODOCK_STARTUP_TIMEOUT_MS) || 10_000;
const stopTimeoutMs = 10_000;

function freePort() {
  return new Promise((resolve, reject) => {
    const server = createServer();
    server.once('error', reject);
    server.listen(0, '127.0.0.1', () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
  });
}

// Resolves with the first stdout line, rejects if the process exits or stays silent.
function firstLine(child, timeoutMs) {
  return new Promise((resolve, reject) => {
    let buffered = '';
    const finish = (settle, value) => {
      clearTimeout(timer);
      child.stdout.off('data', onData);
      child.off('exit', onExit);
      settle(value);
    };
    const onData = (chunk) => {
      buffered += chunk;
      const end = buffered.indexOf('\n');
      if (end >= 0) finish(resolve, buffered.slice(0, end));
    };
    const onExit = (code, signal) =>
      finish(reject, new Error(`melodock exited (code ${code}, signal ${signal}) before listening`));
    const timer = setTimeout(
      () => finish(reject, new Error(`melodock printed no line within ${timeoutMs} ms`)),
      timeoutMs,
    );
    child.stdout.setEncoding('utf8');
    child.stdout.on('data', onData);
    child.once('exit', onExit);
  });
}

export function binaryPath() {
  const binary = process.env.MELODOCK_BINARY;
  if (!binary) throw new Error('MELODOCK_BINARY is not set');
  return binary;
}

// Whether `pid` is a melodock app of the home whose runtime folder is `runtime`: the
// lock file keeps an id after its app ends, and the id may have gone to another process.
async function isAppOf(pid, runtime) {
  try {
    const [exe, binary, environ] = await Promise.all([
      readlink(`/proc/${pid}/exe`), realpath(binaryPath()), readFile(`/proc/${pid}/environ`, 'utf8'),
    ]);
    return exe === binary && environ.split('\0').includes(`XDG_RUNTIME_DIR=${runtime}`);
  } catch {
    return false;
  }
}

// A user home in a temporary folder: every XDG folder, and settings with a free port
// and a fresh token. `env` holds the XDG variables, and the test run's GStreamer
// registry, for any process of this user.
// `settings` joins the stored settings.
export async function makeHome(settings = {}) {
  const root = await mkdtemp(join(tmpdir(), 'melodock-e2e-'));
  const folders = {
    XDG_CONFIG_HOME: 'config', XDG_DATA_HOME: 'data', XDG_CACHE_HOME: 'cache',
    XDG_RUNTIME_DIR: 'run', XDG_MUSIC_DIR: 'music',
  };
  const env = {};
  for (const [name, folder] of Object.entries(folders)) {
    env[name] = join(root, folder);
    await mkdir(env[name], { mode: 0o700 });
  }
  // A stdio client hands the bridge, and so the app it starts, little more than these:
  // without the registry, that app's GStreamer would scan every plugin into its cache.
  for (const name of ['GST_REGISTRY_1_0', 'GST_REGISTRY_UPDATE', 'GST_PLUGIN_FEATURE_RANK']) {
    if (process.env[name] !== undefined) env[name] = process.env[name];
  }
  const port = await freePort();
  const token = randomBytes(24).toString('hex');
  await mkdir(join(env.XDG_CONFIG_HOME, 'melodock'));
  await writeFile(join(env.XDG_CONFIG_HOME, 'melodock', 'settings.json'), JSON.stringify({ port, token, ...settings }));
  return {
    env,
    port,
    token,
    url: `http://127.0.0.1:${port}/mcp`,
    // The id of the app holding this home's one-app lock, if any.
    async appPid() {
      try {
        const pid = Number((await readFile(join(env.XDG_RUNTIME_DIR, 'melodock', 'app.lock'), 'utf8')).trim());
        return Number.isInteger(pid) && pid > 1 && (await isAppOf(pid, env.XDG_RUNTIME_DIR)) ? pid : null;
      } catch {
        return null;
      }
    },
    // Stops the app the bridge started (it is nobody's child here) and removes the home.
    async remove() {
      const pid = await this.appPid();
      if (pid !== null) {
        process.kill(pid, 'SIGTERM');
        // Ended once it is gone or a zombie (its exe link is gone) that init reaps.
        const running = () => isAppOf(pid, env.XDG_RUNTIME_DIR);
        const deadline = Date.now() + stopTimeoutMs;
        while ((await running()) && Date.now() < deadline) await new Promise((resolve) => setTimeout(resolve, 20));
        if (await running()) process.kill(pid, 'SIGKILL');
      }
      await rm(root, { recursive: true, force: true });
    },
  };
}

// `home`, when given, is a home of makeHome to start in again (its settings as they are);
// it is left in place when the app stops. The app starts headless unless `display`
// names a display (the caller's own is never used): { DISPLAY: ':5' }.
export async function startMelodock(settings = {}, given = null, display = {}) {
  const binary = binaryPath();
  const home = given ?? (await makeHome(settings));
  const removeHome = () => (given ? Promise.resolve() : home.remove());
  const { port, token } = home;

  const env = { ...process.env };
  delete env.DISPLAY;
  delete env.WAYLAND_DISPLAY;
  const child = spawn(binary, [], {
    env: { ...env, ...home.env, ...display },
    stdio: ['ignore', 'pipe', 'pipe'],
  });
  let stderr = '';
  child.stderr.setEncoding('utf8');
  child.stderr.on('data', (chunk) => { stderr += chunk; });
  const exited = new Promise((resolve) => child.once('exit', (code, signal) => resolve({ code, signal })));

  const url = `http://127.0.0.1:${port}/mcp`;
  try {
    const line = await firstLine(child, startupTimeoutMs);
    const expected = `Melodock is listening on ${url}`;
    if (line !== expected) throw new Error(`expected "${expected}", got "${line}"`);
  } catch (error) {
    child.kill('SIGKILL');
    await exited;
    await removeHome();
    error.message += stderr ? `\nstderr:\n${stderr}` : '';
    throw error;
  }

  return {
    url,
    token,
    env: home.env,
    get stderr() { return stderr; },
    // Resolves with how the process ended; SIGKILL only if SIGTERM is ignored.
    async stop() {
      child.kill('SIGTERM');
      let timer;
      const late = new Promise((resolve) => { timer = setTimeout(resolve, stopTimeoutMs, null); });
      let ending = await Promise.race([exited, late]);
      clearTimeout(timer);
      if (ending === null) {
        child.kill('SIGKILL');
        ending = { ...(await exited), ignoredSIGTERM: true };
      }
      await removeHome();
      return ending;
    },
    // Ends the process at once, as a crash or a power cut would; the home stays.
    async kill() {
      child.kill('SIGKILL');
      return exited;
    },
  };
}

// An SDK client connected to `url` with `token`; closed again if it cannot connect.
export async function connectClient(url, token, clientName, timeout) {
  const client = new Client({ name: clientName, version: '1.0.0' });
  const transport = new StreamableHTTPClientTransport(new URL(url), {
    requestInit: { headers: { Authorization: `Bearer ${token}` } },
  });
  try {
    await client.connect(transport, { timeout });
  } catch (error) {
    await client.close();
    throw error;
  }
  return { client, transport };
}

// Melodock started with `settings` and an SDK client connected to it with the token.
export async function startWithClient(settings, clientName, timeout, home = null, display = {}) {
  const melodock = await startMelodock(settings, home, display);
  const { client } = await connectClient(melodock.url, melodock.token, clientName, timeout);
  return { melodock, client };
}

// Polls `condition` every `intervalMs` until it answers something truthy or `timeoutMs`
// has passed; answers its last answer.
export async function waitFor(condition, timeoutMs, intervalMs = 50) {
  const deadline = Date.now() + timeoutMs;
  for (;;) {
    const value = await condition();
    if (value || Date.now() > deadline) return value;
    await new Promise((resolve) => setTimeout(resolve, intervalMs));
  }
}

// One raw POST of `message` to `url`, as a client sends it, with `authorization` (null:
// no header) and `headers`; every answer to a request carries a JSON body.
export async function post(url, message, { authorization, headers = {}, timeout = 15_000 } = {}) {
  const response = await fetch(url, {
    method: 'POST',
    headers: {
      'Content-Type': 'application/json',
      Accept: 'application/json, text/event-stream',
      ...(authorization ? { Authorization: authorization } : {}),
      ...headers,
    },
    body: JSON.stringify(message),
    signal: AbortSignal.timeout(timeout),
  });
  return { status: response.status, contentType: response.headers.get('content-type'), body: await response.json() };
}

// What now_playing answers before anything was played.
export const stoppedPlayer = '{"queue_length":0,"repeat":"off","shuffle":false,"status":"stopped"}';

// A call of `client`'s tools: answers the tool's JSON, or with `failing` its error
// text; a tool that fails (or not) otherwise fails the test.
export function toolCaller(client, timeout) {
  return async (name, args = {}, { failing = false } = {}) => {
    const result = await client.callTool({ name, arguments: args }, undefined, { timeout });
    const text = result.content[0].text;
    assert.equal(Boolean(result.isError), failing, `${name} ${JSON.stringify(args)}: ${text}`);
    return failing ? text : JSON.parse(text);
  };
}

// `melodock --stdio` as a child of `Transport` (the SDK's stdio transport). The SDK
// hands a child only a few variables, so the user's folders go in explicitly; the
// session variables stay empty so nothing reaches a real desktop session. `stderr()`
// is what the bridge wrote there.
export function stdioTransport(Transport, env) {
  const transport = new Transport({
    command: binaryPath(),
    args: ['--stdio'],
    env: { ...env, DISPLAY: '', WAYLAND_DISPLAY: '', DBUS_SESSION_BUS_ADDRESS: '' },
    stderr: 'pipe',
  });
  let written = '';
  transport.stderr.setEncoding('utf8');
  transport.stderr.on('data', (chunk) => { written += chunk; });
  return { transport, stderr: () => written };
}

// Closes the client and stops Melodock; fails unless it ended cleanly.
export async function stopWithClient(melodock, client) {
  await client?.close();
  const ending = await melodock?.stop();
  assert.deepEqual(ending, { code: 0, signal: null }, `melodock ended badly; stderr:\n${melodock?.stderr}`);
}

// A desktop for the real binary: a private X server (Xvfb) and a private session bus,
// on which a mock notification service (python3-dbusmock's template) records what it is
// asked to show and invokes actions when told.
import { execFile, spawn } from 'node:child_process';
import { access, readFile } from 'node:fs/promises';
import { delimiter, join } from 'node:path';
import { promisify } from 'node:util';

import { waitFor } from './melodock.mjs';

const run = promisify(execFile);

// Reads the first line a child writes on descriptor `fd`.
function firstLineOn(child, fd, what) {
  let stderr = '';
  child.stderr?.setEncoding('utf8');
  child.stderr?.on('data', (chunk) => { stderr += chunk; });
  return new Promise((resolve, reject) => {
    let text = '';
    child.stdio[fd].setEncoding('utf8');
    child.stdio[fd].on('data', (chunk) => {
      text += chunk;
      if (text.includes('\n')) resolve(text.slice(0, text.indexOf('\n')).trim());
    });
    child.once('error', reject);
    child.once('exit', (code) => reject(new Error(`${what} ended (${code}): ${stderr}`)));
  });
}

// Starts Xvfb on a display number of its own choosing; `number` resolves with it.
export function startXvfb() {
  const server = spawn('Xvfb', ['-displayfd', '3', '-nolisten', 'tcp', '-screen', '0', '1280x800x24'], {
    stdio: ['ignore', 'ignore', 'pipe', 'pipe'],
  });
  const exited = new Promise((resolve) => server.once('exit', resolve));
  return { server, exited, number: firstLineOn(server, 3, 'Xvfb') };
}

// The windows on `display` (made, whether shown or not), from xwininfo: [{ id, name }].
async function windows(display) {
  const { stdout } = await run('xwininfo', ['-root', '-tree'], { env: { ...process.env, DISPLAY: display } });
  return [...stdout.matchAll(/^\s*(0x[0-9a-f]+) "([^"]*)"/gm)].map(([, id, name]) => ({ id, name }));
}

export const windowNames = async (display) => (await windows(display)).map((window) => window.name);

// A session bus of its own; resolves with its address and a stop().
export async function startSessionBus() {
  const daemon = spawn('dbus-daemon', ['--session', '--nofork', '--print-address=3'], {
    stdio: ['ignore', 'ignore', 'pipe', 'pipe'],
  });
  const exited = new Promise((resolve) => daemon.once('exit', resolve));
  const address = await firstLineOn(daemon, 3, 'dbus-daemon');
  return {
    address,
    async stop() {
      daemon.kill('SIGTERM');
      await exited;
    },
  };
}

// The first python3 on PATH that has dbusmock: a virtual environment may come first.
async function pythonWithDbusmock() {
  for (const folder of (process.env.PATH ?? '').split(delimiter)) {
    const python = join(folder, 'python3');
    try {
      await access(python);
      await run(python, ['-c', 'import dbusmock']);
      return python;
    } catch {
      // not here
    }
  }
  throw new Error('no python3 on PATH has dbusmock (python3-dbusmock)');
}

const service = 'org.freedesktop.Notifications';
const path = '/org/freedesktop/Notifications';

// The mock notification service on the bus at `address`, logging each call to `logFile`.
export async function startNotificationDaemon(address, logFile) {
  const env = { ...process.env, DBUS_SESSION_BUS_ADDRESS: address };
  const mock = spawn(await pythonWithDbusmock(),
    ['-m', 'dbusmock', '--template', 'notification_daemon', '-l', logFile,
      '-p', JSON.stringify({ capabilities: 'actions body' })],
    { env, stdio: ['ignore', 'ignore', 'pipe'] });
  let stderr = '';
  mock.stderr.setEncoding('utf8');
  mock.stderr.on('data', (chunk) => { stderr += chunk; });
  const exited = new Promise((resolve) => mock.once('exit', resolve));
  const gdbus = (...args) => run('gdbus', ['call', '--session', '--dest', service, '--object-path', path,
    '--method', ...args], { env });
  // Owned once it answers.
  let failure;
  const owned = await waitFor(() => gdbus('org.freedesktop.Notifications.GetServerInformation')
    .then(() => true, (error) => { failure = error; return mock.exitCode !== null ? 'ended' : false; }), 15_000);
  if (owned !== true) {
    mock.kill('SIGKILL');
    throw new Error(`the notification service did not start: ${failure.message}\n${stderr}`);
  }
  return {
    // The log's lines for calls of `method`.
    async calls(method) {
      const text = await readFile(logFile, 'utf8').catch(() => '');
      return text.split('\n').filter((line) => line.split(' ')[1] === method);
    },
    // The user picked `key` on notification `id`.
    async invokeAction(id, key) {
      await gdbus('org.freedesktop.DBus.Mock.EmitSignal', service, 'ActionInvoked', 'us',
        `[<uint32 ${id}>, <'${key}'>]`);
    },
    async stop() {
      mock.kill('SIGTERM');
      await exited;
    },
  };
}

// The ids of the mapped windows on `display` named `name`, with their size.
export async function mappedWindows(display, name) {
  const env = { ...process.env, DISPLAY: display };
  const found = [];
  for (const { id } of (await windows(display)).filter((window) => window.name === name)) {
    const { stdout: info } = await run('xwininfo', ['-id', id], { env });
    if (!info.includes('Map State: IsViewable')) continue;
    found.push({ id, width: Number(/Width: (\d+)/.exec(info)[1]), height: Number(/Height: (\d+)/.exec(info)[1]) });
  }
  return found;
}

// Saves what `window` shows on `display` as a PNG, `scale` times its size, through
// GStreamer's X image source.
export async function screenshot(display, window, file, scale = 1) {
  const gstLaunch = process.env.MELODOCK_GST_LAUNCH || 'gst-launch-1.0';
  await run(gstLaunch, ['-q', 'ximagesrc', `display-name=${display}`, `xid=${window.id}`, 'use-damage=false',
    'num-buffers=1', '!', 'videoconvert', '!', 'videoscale', '!',
    `video/x-raw,width=${window.width * scale},height=${window.height * scale}`, '!', 'pngenc', '!',
    'filesink', `location=${file}`]);
}

// The text Tesseract reads in a picture.
export async function textIn(file) {
  const { stdout } = await run(process.env.MELODOCK_TESSERACT || 'tesseract', [file, 'stdout']);
  return stdout;
}

// A private desktop: Xvfb and a session bus, with the notification service when
// `notificationsLog` names its log. `env` is what the app needs to use them.
export async function startDesktop({ notificationsLog } = {}) {
  const xvfb = startXvfb();
  const display = `:${await xvfb.number}`;
  const bus = await startSessionBus();
  const notifications = notificationsLog ? await startNotificationDaemon(bus.address, notificationsLog) : null;
  return {
    display,
    xvfb,
    bus,
    notifications,
    env: { DISPLAY: display, DBUS_SESSION_BUS_ADDRESS: bus.address },
    async stop() {
      await notifications?.stop();
      await bus.stop();
      xvfb.server.kill('SIGKILL');
      await xvfb.exited;
    },
  };
}

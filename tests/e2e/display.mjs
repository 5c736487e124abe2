// A desktop for the real binary: a private X server (Xvfb) and a private session bus,
// on which a mock notification service (python3-dbusmock's template) records what it is
// asked to show and invokes actions when told.
import { execFile, spawn } from 'node:child_process';
import { access, readFile } from 'node:fs/promises';
import { delimiter, join } from 'node:path';
import { promisify } from 'node:util';

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

// Polls `condition` every 50 ms until it answers something truthy or `timeoutMs` has
// passed; answers its last answer.
export async function waitFor(condition, timeoutMs) {
  const deadline = Date.now() + timeoutMs;
  for (;;) {
    const value = await condition();
    if (value || Date.now() > deadline) return value;
    await new Promise((resolve) => setTimeout(resolve, 50));
  }
}

// The names of the windows on `display` (made, whether shown or not), from xwininfo.
export async function windowNames(display) {
  const { stdout } = await run('xwininfo', ['-root', '-tree'], { env: { ...process.env, DISPLAY: display } });
  return [...stdout.matchAll(/^\s*0x[0-9a-f]+ "([^"]*)"/gm)].map((match) => match[1]);
}

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
  const deadline = Date.now() + 15_000;
  for (;;) {
    try {
      await gdbus('org.freedesktop.Notifications.GetServerInformation');
      break;
    } catch (error) {
      if (mock.exitCode !== null || Date.now() > deadline) {
        mock.kill('SIGKILL');
        throw new Error(`the notification service did not start: ${error.message}\n${stderr}`);
      }
      await new Promise((resolve) => setTimeout(resolve, 50));
    }
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
  const { stdout } = await run('xwininfo', ['-root', '-tree'], { env });
  const ids = [...stdout.matchAll(/^\s*(0x[0-9a-f]+) "([^"]*)"/gm)].filter((m) => m[2] === name).map((m) => m[1]);
  const windows = [];
  for (const id of ids) {
    const { stdout: info } = await run('xwininfo', ['-id', id], { env });
    if (!info.includes('Map State: IsViewable')) continue;
    windows.push({ id, width: Number(/Width: (\d+)/.exec(info)[1]), height: Number(/Height: (\d+)/.exec(info)[1]) });
  }
  return windows;
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

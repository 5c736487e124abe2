// Starts the real binary (MELODOCK_BINARY) on a free loopback port with a config
// folder of its own, and stops it again.
import { spawn } from 'node:child_process';
import { randomBytes } from 'node:crypto';
import { mkdtemp, mkdir, rm, writeFile } from 'node:fs/promises';
import { createServer } from 'node:net';
import { tmpdir } from 'node:os';
import { join } from 'node:path';

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

export async function startMelodock() {
  const binary = process.env.MELODOCK_BINARY;
  if (!binary) throw new Error('MELODOCK_BINARY is not set');

  const configHome = await mkdtemp(join(tmpdir(), 'melodock-e2e-'));
  const port = await freePort();
  const token = randomBytes(24).toString('hex');
  await mkdir(join(configHome, 'melodock'));
  await writeFile(join(configHome, 'melodock', 'settings.json'), JSON.stringify({ port, token }));

  const child = spawn(binary, [], {
    env: { ...process.env, XDG_CONFIG_HOME: configHome },
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
    await rm(configHome, { recursive: true, force: true });
    error.message += stderr ? `\nstderr:\n${stderr}` : '';
    throw error;
  }

  return {
    url,
    token,
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
      await rm(configHome, { recursive: true, force: true });
      return ending;
    },
  };
}

// The MCP conformance suite's server scenarios that apply to a tools-only, stateless
// server, run against the real binary at each protocol version they cover.
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import { mkdtemp, rm, writeFile } from 'node:fs/promises';
import http from 'node:http';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { after, before, describe, it } from 'node:test';

import { startMelodock, stopWithClient } from './melodock.mjs';

const cli = createRequire(import.meta.url).resolve('@modelcontextprotocol/conformance/dist/index.js');
const shim = new URL('./conformance_node20.mjs', import.meta.url).pathname;

// Not run, because they cannot apply:
// - tools-call-image, -audio, -embedded-resource, -mixed-content, -with-progress,
//   -with-logging, -sampling, -elicitation, json-schema-2020-12,
//   elicitation-sep1034-defaults, elicitation-sep1330-enums, every
//   input-required-result-* that calls a tool, http-custom-header-server-validation,
//   tools-call-simple-text: each calls a fixture tool of the suite's own
//   (test_image_content, …); Melodock has its twenty tools only, which answer one text
//   (tools-call-simple-text passes only because the unknown-tool answer is text).
// - resources-*, sep-2164-resource-not-found, prompts-*, completion-complete,
//   logging-set-level, input-required-result-non-tool-request: Melodock serves tools
//   only and declares nothing else; those methods are answered "Method not found".
// - server-session-lifecycle, server-sse-polling: sessions and SSE streams; Melodock
//   is stateless and answers every POST with JSON (both report "not applicable").
// - tasks-*, sep-2640-skills-*: extensions Melodock does not declare.
// - 2024-11-05: the suite does not speak it (the binary's own tests cover it).
const scenarios = {
  '2026-07-28': [
    'server-stateless', 'tools-list', 'tools-call-error', 'caching', 'http-header-validation',
    'server-sse-multiple-streams', 'input-required-result-unsupported-methods',
    'dns-rebinding-protection',
  ],
  '2025-11-25': ['server-initialize', 'ping', 'tools-list', 'tools-call-error', 'dns-rebinding-protection'],
  '2025-06-18': ['server-initialize', 'ping', 'tools-list', 'tools-call-error'],
};

// Checks of applying scenarios that cannot apply: the -32021 checks call the suite's
// test_missing_capability tool (no Melodock tool needs a client capability), and the
// caching hints of prompts and resources, which Melodock does not serve.
const notApplicableChecks = [
  'server-stateless:sep-2575-server-rejects-undeclared-capability',
  'server-stateless:sep-2575-missing-capability-http-400',
  'caching:sep-2549-prompts-list-caching-hints',
  'caching:sep-2549-resources-list-caching-hints',
  'caching:sep-2549-resources-templates-list-caching-hints',
];

let melodock;
let relay;
let url;
let results;

// The CLI cannot send a header of its own, so a loopback relay adds the token to what
// it sends and passes everything else, Host and Origin included, as it is.
function tokenRelay(target, token) {
  return http.createServer((request, response) => {
    const headers = { ...request.headers, authorization: request.headers.authorization ?? `Bearer ${token}` };
    const forwarded = http.request(
      { host: target.hostname, port: target.port, path: request.url, method: request.method, headers },
      (answer) => {
        response.writeHead(answer.statusCode, answer.headers);
        answer.pipe(response);
      });
    forwarded.on('error', (error) => response.destroy(error));
    request.pipe(forwarded);
  });
}

before(async () => {
  melodock = await startMelodock({ musicAuthorization: 'authorized' });
  relay = tokenRelay(new URL(melodock.url), melodock.token);
  await new Promise((resolve) => relay.listen(0, '127.0.0.1', resolve));
  url = `http://127.0.0.1:${relay.address().port}/mcp`;
  results = await mkdtemp(join(tmpdir(), 'melodock-conformance-'));
  await writeFile(join(results, 'baseline.yml'), `server:\n${notApplicableChecks.map((c) => `  - ${c}\n`).join('')}`);
});

after(async () => {
  await new Promise((resolve) => relay?.close(resolve));
  if (results) await rm(results, { recursive: true, force: true });
  await stopWithClient(melodock);
});

// The CLI's exit code: 0 when every check passed or is one of notApplicableChecks.
function run(scenario, version) {
  const child = spawn(process.execPath, [
    '--import', shim, cli, 'server', '--url', url, '--scenario', scenario, '--spec-version', version,
    '--expected-failures', join(results, 'baseline.yml'), '-o', join(results, version),
  ], { stdio: ['ignore', 'pipe', 'pipe'] });
  let output = '';
  child.stdout.setEncoding('utf8').on('data', (chunk) => { output += chunk; });
  child.stderr.setEncoding('utf8').on('data', (chunk) => { output += chunk; });
  return new Promise((resolve) => child.once('exit', (code) => resolve({ code, output })));
}

for (const [version, names] of Object.entries(scenarios)) {
  describe(`conformance at ${version}`, { concurrency: 3 }, () => {
    for (const scenario of names) {
      it(scenario, { timeout: 60_000 }, async () => {
        const { code, output } = await run(scenario, version);
        assert.equal(code, 0, output);
        assert.match(output, /Passed: [1-9]/, output);
      });
    }
  });
}

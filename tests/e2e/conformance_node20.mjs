// Lets the conformance CLI load on Node 20: it imports fs.globSync (Node 22) at the top
// for its tier check, which these scenarios never run. On Node 22 this does nothing.
import fs from 'node:fs';
import { register } from 'node:module';

if (!fs.globSync) {
  const shim = `import fs from 'node:fs'; export * from 'node:fs'; export default fs;
    export function globSync() { throw new Error('fs.globSync needs Node 22'); }`;
  const hooks = `export async function resolve(specifier, context, next) {
    if ((specifier === 'fs' || specifier === 'node:fs') &&
        context.parentURL?.includes('/@modelcontextprotocol/conformance/')) {
      return { url: ${JSON.stringify(`data:text/javascript,${encodeURIComponent(shim)}`)}, shortCircuit: true };
    }
    return next(specifier, context);
  }`;
  register(`data:text/javascript,${encodeURIComponent(hooks)}`);
}

// Prints, for each path read from stdin (one a line), what the npm package file-type makes of it, as one JSON
// object a line: {"ext": "png", "mime": "image/png"}, or {"ext": null} when it knows no type.
import { fileTypeFromFile } from 'file-type';
import { createInterface } from 'node:readline';

const paths = [];
for await (const line of createInterface({ input: process.stdin })) {
  if (line) paths.push(line);
}
for (const path of paths) {
  let answer = { ext: null };
  try {
    const type = await fileTypeFromFile(path);
    if (type) answer = { ext: type.ext, mime: type.mime };
  } catch (error) {
    answer = { ext: null, error: String(error.message || error) };
  }
  process.stdout.write(JSON.stringify(answer) + '\n');
}

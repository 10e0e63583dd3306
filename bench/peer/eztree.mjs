// Generates one tree with the peer generator and prints its triangles and seconds.
//   node eztree.mjs [children per level, default 9]
// The library loads its textures through the DOM at start-up; a stand-in
// element that never loads keeps geometry generation, which is all we time.
const element = () => ({ style: {}, addEventListener() {}, removeEventListener() {},
                         setAttribute() {}, getContext: () => null });
globalThis.document = { createElementNS: element, createElement: element };
const { Tree } = await import('@dgreenheck/ez-tree');

const children = Number(process.argv[2] || 9);
const tree = new Tree();
tree.options.seed = 12345;
tree.options.branch.levels = 3;
tree.options.branch.children = { 0: children, 1: children, 2: children };
tree.options.branch.sections = { 0: 24, 1: 16, 2: 12, 3: 8 };
tree.options.branch.segments = { 0: 12, 1: 10, 2: 8, 3: 6 };
tree.options.leaves.count = 8;

const runs = [];
let triangles = 0;
for (let i = 0; i < 5; ++i) {
  const start = process.hrtime.bigint();
  tree.generate();
  runs.push(Number(process.hrtime.bigint() - start) / 1e9);
  triangles = 0;
  for (const mesh of [tree.branchesMesh, tree.leavesMesh]) {
    const g = mesh.geometry;
    triangles += (g.index ? g.index.count : g.attributes.position.count) / 3;
  }
}
runs.sort((a, b) => a - b);
console.log(JSON.stringify({ triangles, seconds: runs[Math.floor(runs.length / 2)] }));
